#include "TAVO_DSK_GUI.h"
#include "ui_TAVO_DSK_GUI.h"

#include "FocusMark.h"
#include "FrameManager.h"
#include "KeyFocus.h"
#include "LinkSession.h"
#include "NotificationBox.h"
#include "NotificationQueue.h"
#include "Protocol.h"
#include "ScreenFit.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QMouseEvent>
#include <QScreen>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

QString integrityErrorText()
{
    return QString::fromUtf8("무결성 검사중 오류가 생겼습니다.\n관리자에게 문의해주세요.");
}

QString updateNoticeText()
{
    return QString::fromUtf8("최신버전으로 업데이트를 진행합니다.");
}

QString fullScreenStyle(const QString& picture)
{
    return QStringLiteral("#centralWidget { border-image:url(%1) 0 0 0 0 stretch stretch;}").arg(picture);
}

} // namespace

TAVO_DSK_GUI::TAVO_DSK_GUI(QWidget* parent, bool fullScreenMode, LinkSession& linkSession)
    : QMainWindow(parent), dragPosition(0, 0), ui(std::make_unique<Ui::TAVO_DSK_GUIClass>()), session(linkSession),
      fullScreen(fullScreenMode)
{
    auto* layout = new QVBoxLayout();
    boxes = new NotificationQueue(this, fullScreen);
    frames = new FrameManager(layout, *boxes, this);

    setContentsMargins(0, 0, 0, 0);
    ui->setupUi(this);
    connect(ui->pushButton, &QPushButton::clicked, this, &QWidget::close);
    // Return presses the close button when it has the focus; the window has no field to start in.
    new KeyFocus(ui->centralWidget, nullptr, KeyFocus::Start::Nowhere);
    focusMark = new FocusMark(this);
    // The window holds the focus until a screen puts it on a field: on activation Qt would
    // give it to the first control, the close button.
    setFocus(Qt::OtherFocusReason);

    if (fullScreen) {
        // The screen the window starts on is the primary one; later resizes refit the pieces.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            resize(screen->size());
        }
        fitToScreen();
    }

    raise();
    activateWindow();

    layout->setSpacing(0);
    ui->frame->setLayout(layout);

    session.open();

    connect(&session, &LinkSession::disconnected, this, &TAVO_DSK_GUI::sockDisconnect);
    connect(&session, &LinkSession::screenUpdate, frames, &FrameManager::sendDataToFrame);
    connect(&session, &LinkSession::showScreen, this,
            [this](int n, const Json::Value& info) { frames->showFrame(this, n, info); });
    connect(&session, &LinkSession::finalNotice, this, [this](const QString& text) {
        showNotification(text, [this] { close(); });
    });
    connect(&session, &LinkSession::noticeToAcknowledge, this, [this](int bit, const QString& text) {
        showNotification(bit == Protocol::BitUpdateNotice ? updateNoticeText() : text,
                         [this, bit] { session.acknowledge(bit); });
    });
    connect(&session, &LinkSession::linkFailed, this,
            [this] { showNotification(integrityErrorText(), [this] { close(); }); });
    connect(frames, &FrameManager::messageForMainProgram, &session, &LinkSession::send);
    connect(frames, &FrameManager::closeMainWindow, this, &TAVO_DSK_GUI::closeEventFromFrame);

    frames->showFrame(this, Protocol::ScreenForgeryCheck, Json::Value(0));
}

TAVO_DSK_GUI::~TAVO_DSK_GUI()
{
    // The session outlives the window and must not call back into it.
    session.disconnect(this);
    delete notificationBox.data();
    // The screens go before the frame that holds their layout.
    delete frames;
    frames = nullptr;
}

void TAVO_DSK_GUI::fitToScreen()
{
    const QSize screen = size();
    ui->pushButton->setGeometry(ScreenFit::closeButton(screen));
    ui->frame->setGeometry(ScreenFit::framedArea(screen));
    const QSizeF devicePixels = QSizeF(screen) * devicePixelRatioF();
    const QString style = fullScreenStyle(ScreenFit::backgroundPicture(devicePixels.toSize()));
    // A new style sheet repolishes every child: only when the picture changes.
    if (ui->centralWidget->styleSheet() != style) {
        ui->centralWidget->setStyleSheet(style);
    }
}

void TAVO_DSK_GUI::resizeEvent(QResizeEvent* event)
{
    QMainWindow::resizeEvent(event);
    if (fullScreen) {
        fitToScreen();
    }
}

void TAVO_DSK_GUI::mousePressEvent(QMouseEvent* event)
{
    if (!isFullScreen() && !fullScreen && event->button() == Qt::LeftButton) {
        dragPosition = event->pos();
        dragging = true;
    }
    QMainWindow::mousePressEvent(event);
}

void TAVO_DSK_GUI::mouseReleaseEvent(QMouseEvent* event)
{
    dragging = false;
    QMainWindow::mouseReleaseEvent(event);
}

void TAVO_DSK_GUI::mouseMoveEvent(QMouseEvent* event)
{
    if (dragging) {
        move(event->globalPos() - dragPosition);
    }
    QMainWindow::mouseMoveEvent(event);
}

void TAVO_DSK_GUI::closeEvent(QCloseEvent* event)
{
    // However many boxes were waiting, and however the window closes: one notice, then nothing.
    boxes->discardWaiting();
    session.sendExitNotice();
    event->accept();
}

void TAVO_DSK_GUI::sockDisconnect()
{
    qInfo("Disconnect Socket");
    close();
}

void TAVO_DSK_GUI::closeEventFromFrame()
{
    qInfo("Close Main Window");
    close();
}

void TAVO_DSK_GUI::showNotification(const QString& text, std::function<void()> afterDismissed)
{
    boxes->show(notificationBox, text, this, std::move(afterDismissed));
}
