#include "FrameManager.h"

#include "Frame_1_Login.h"
#include "Frame_2_SelectRes.h"
#include "Frame_3_ProgressBar.h"
#include "Frame_4_Reset_Password.h"
#include "Frame_5_New_Password.h"
#include "Frame_6_ForgeryCheck.h"
#include "Frame_7_StreamConfig.h"
#include "JsonText.h"
#include "Protocol.h"

#include <QLayoutItem>
#include <QVBoxLayout>
#include <QtDebug>

FrameManager::FrameManager(QVBoxLayout* screenLayout, NotificationQueue& windowBoxes, QObject* parent)
    : QObject(parent), layout(screenLayout), boxes(windowBoxes)
{
    registerScreens();
}

FrameManager::~FrameManager()
{
    clearFrames();
}

// The number-to-screen table: one line per screen.
void FrameManager::registerScreens()
{
    registerScreen<Frame_1_Login>(Protocol::ScreenSignIn);
    registerScreen<Frame_2_SelectRes>(Protocol::ScreenSelectResource);
    registerScreen<Frame_3_ProgressBar>(Protocol::ScreenProgress);
    registerScreen<Frame_4_Reset_Password>(Protocol::ScreenResetPassword);
    registerScreen<Frame_5_New_Password>(Protocol::ScreenNewPassword);
    registerScreen<Frame_6_ForgeryCheck>(Protocol::ScreenForgeryCheck);
    registerScreen<Frame_7_StreamConfig>(Protocol::ScreenStreamConfig);
}

void FrameManager::showFrame(QWidget* parent, int n, const Json::Value& data)
{
    clearFrames();
    const auto found = screens.find(n);
    if (found == screens.end()) {
        return;
    }
    QWidget* screen = found->second(parent, data);
    current = screen;
    currentIndex = n;
    layout->addWidget(screen, 0);
}

void FrameManager::clearFrames()
{
    // While the screens change the focus waits on the window; Qt would hand it on to the
    // next control in the chain, the close button, where a stray Space would close the program.
    if (QWidget* screen = current.data()) {
        QWidget* window = screen->window();
        if (window != screen && screen->isAncestorOf(window->focusWidget())) {
            window->setFocus(Qt::OtherFocusReason);
        }
    }
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
        }
        delete item;
    }
    // Nothing of the screen's own runs now: messages are handled in the turn they are read, and
    // no box waits inside a screen's code.
    delete current.data();
    current = nullptr;
    currentIndex = 0;
}

void FrameManager::sendDataToFrame(int n, const Json::Value& message)
{
    qInfo() << "SendDataToFrame : " << n;
    emit dataSignal(message);
}

void FrameManager::sendMainProg(Json::Value message)
{
    const std::optional<int> n = JsonText::frameIndexOf(message);
    if (n && (*n & Protocol::BitClose)) {
        emit closeMainWindow();
        return;
    }
    emit messageForMainProgram(message);
}
