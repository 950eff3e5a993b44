#include "FrameManager.h"

#include "Frame_1_Login.h"
#include "Frame_2_SelectRes.h"
#include "Frame_3_ProgressBar.h"
#include "Frame_4_Reset_Password.h"
#include "Frame_5_New_Password.h"
#include "Frame_6_ForgeryCheck.h"
#include "Frame_7_StreamConfig.h"
#include "JsonText.h"
#include "LinkWriter.h"
#include "Protocol.h"

#include <QLayoutItem>

#include <QTcpSocket>
#include <QVBoxLayout>
#include <QtDebug>
#include <algorithm>

FrameManager::FrameManager(QSharedPointer<QVBoxLayout> layoutShare, QSharedPointer<QTcpSocket> socketShare,
                           QObject* parent)
    : QObject(parent), socket(std::move(socketShare)), layout(std::move(layoutShare))
{
    registerScreens();
}

FrameManager::~FrameManager()
{
    clearFrames();
    for (const QPointer<QWidget>& screen : retired) {
        delete screen.data();
    }
}

// The number-to-screen table: one line per screen.
void FrameManager::registerScreens()
{
    registerScreen<Frame_1_Login>(1);
    registerScreen<Frame_2_SelectRes>(2);
    registerScreen<Frame_3_ProgressBar>(3);
    registerScreen<Frame_4_Reset_Password>(5);
    registerScreen<Frame_5_New_Password>(7);
    registerScreen<Frame_6_ForgeryCheck>(8);
    registerScreen<Frame_7_StreamConfig>(9);
}

void FrameManager::showFrame(QWidget* parent, int n, const Json::Value& data)
{
    clearFrames();
    const quint64 mine = ++generation;
    const auto found = screens.find(n);
    if (found == screens.end()) {
        return;
    }
    QWidget* screen = found->second(parent, data);
    if (mine != generation) {
        // A nested message asked for another screen while this one was being built.
        retire(screen);
        return;
    }
    current = screen;
    currentIndex = n;
    layout->addWidget(screen, 0);
}

void FrameManager::clearFrames()
{
    while (QLayoutItem* item = layout->takeAt(0)) {
        if (QWidget* widget = item->widget()) {
            widget->hide();
        }
        delete item;
    }
    if (current) {
        retire(current.data());
    }
    current = nullptr;
    currentIndex = 0;
    retired.erase(std::remove_if(retired.begin(), retired.end(), [](const QPointer<QWidget>& w) { return w.isNull(); }),
                  retired.end());
}

// The screen's own code may still be on the stack (a modal box's wait runs the event loop),
// so it is cut off from the link now and deleted once control is back in the event loop.
void FrameManager::retire(QWidget* screen)
{
    disconnect(this, nullptr, screen, nullptr);
    disconnect(screen, nullptr, this, nullptr);
    screen->hide();
    retired.emplace_back(screen);
    screen->deleteLater();
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
    LinkWriter::send(socket.data(), message);
}
