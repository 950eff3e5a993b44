#include "TAVO_DSK_GUI.h"
#include "ui_TAVO_DSK_GUI.h"

#include "AppState.h"
#include "Envelope.h"
#include "FrameManager.h"
#include "JsonText.h"
#include "LinkWriter.h"
#include "LocalText.h"
#include "NotificationBox.h"
#include "ScreenFit.h"
#include "SecureUtil.h"

#include <QCloseEvent>
#include <QGuiApplication>
#include <QHostAddress>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTcpSocket>
#include <QVBoxLayout>
#include <QtDebug>

namespace {

// Long enough for a local peer to take the exit notice, short enough never to hang the exit.
constexpr int kExitNoticeWaitMs = 1000;

QString fullScreenStyle(const QString& picture)
{
    return QStringLiteral("#centralWidget { border-image:url(%1) 0 0 0 0 stretch stretch;}").arg(picture);
}

QString integrityErrorText()
{
    return QString::fromUtf8("무결성 검사중 오류가 생겼습니다.\n관리자에게 문의해주세요.");
}

QString updateNoticeText()
{
    return QString::fromUtf8("최신버전으로 업데이트를 진행합니다.");
}

Json::Value onlyFrameIndex(int n)
{
    Json::Value message(Json::objectValue);
    message["FrameIndex"] = n;
    return message;
}

// Log text of a value: its compact JSON, one character per byte as the link carries it.
QString compactForLog(const Json::Value& value)
{
    const std::string text = JsonText::writeCompact(value);
    return QString::fromLatin1(text.data(), static_cast<int>(text.size()));
}

} // namespace

TAVO_DSK_GUI::TAVO_DSK_GUI(QWidget* parent, bool fullScreenMode)
    : QMainWindow(parent), dragPosition(0, 0), ui(std::make_unique<Ui::TAVO_DSK_GUIClass>())
{
    linkSocket = QSharedPointer<QTcpSocket>(new QTcpSocket(this));
    layout = QSharedPointer<QVBoxLayout>(new QVBoxLayout());
    frames = new FrameManager(layout, linkSocket, this);
    AppState::setFullScreenMode(fullScreenMode);

    setContentsMargins(0, 0, 0, 0);
    ui->setupUi(this);
    connect(ui->pushButton, &QPushButton::clicked, this, &QWidget::close);

    if (fullScreenMode) {
        // The screen the window starts on is the primary one; later resizes refit the pieces.
        if (const QScreen* screen = QGuiApplication::primaryScreen()) {
            resize(screen->size());
        }
        fitToScreen();
    }

    raise();
    activateWindow();

    layout->setSpacing(0);
    ui->frame->setLayout(layout.data());

    linkSocket->connectToHost(QStringLiteral("127.0.0.1"), kLinkPort, QIODevice::ReadWrite,
                              QAbstractSocket::AnyIPProtocol);

    connect(linkSocket.data(), &QTcpSocket::readyRead, this, &TAVO_DSK_GUI::readMessage);
    connect(linkSocket.data(), &QTcpSocket::disconnected, this, &TAVO_DSK_GUI::sockDisconnect);
    connect(frames, &FrameManager::closeMainWindow, this, &TAVO_DSK_GUI::closeEventFromFrame);

    frames->showFrame(this, 8, Json::Value(0));
}

TAVO_DSK_GUI::~TAVO_DSK_GUI()
{
    // The socket must not call back into a window that is being torn down.
    linkSocket->disconnect(this);
    notificationBox.reset();
    delete frames;
    frames = nullptr;
    layout.reset();
    linkSocket.reset();
}

void TAVO_DSK_GUI::sendMessage(const Json::Value& message)
{
    LinkWriter::send(linkSocket.data(), message);
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
    if (AppState::fullScreenMode()) {
        fitToScreen();
    }
}

void TAVO_DSK_GUI::mousePressEvent(QMouseEvent* event)
{
    if (!isFullScreen() && !AppState::fullScreenMode() && event->button() == Qt::LeftButton) {
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
    if (LinkWriter::isOpen(linkSocket.data())) {
        qInfo("GUI Close Event!! - Exit");
        sendMessage(onlyFrameIndex(Envelope::kExitNotice));
        // The event loop ends right after this window closes: make sure the notice has left.
        linkSocket->flush();
        if (linkSocket->state() == QAbstractSocket::ConnectedState && linkSocket->bytesToWrite() > 0) {
            linkSocket->waitForBytesWritten(kExitNoticeWaitMs);
        }
    }
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

bool TAVO_DSK_GUI::showNotification(const QString& text)
{
    return NotificationBox::showNotification(notificationBox, text, this);
}

void TAVO_DSK_GUI::readMessage()
{
    QByteArray batch;
    while (linkSocket->bytesAvailable() > 0) {
        batch.append(linkSocket->readAll());
    }
    if (batch.isEmpty()) {
        return;
    }
    // QAbstractSocket never emits readyRead while one of its readyRead slots is still running.
    // Handling the batch after this slot returns lets messages that arrive while a box waits
    // be read and handled inside that wait, instead of sitting unread in the socket.
    QMetaObject::invokeMethod(
        this, [this, batch] { handleBatch(batch); }, Qt::QueuedConnection);
}

void TAVO_DSK_GUI::handleBatch(const QByteArray& batch)
{
    const Envelope::Incoming in = Envelope::decode(batch, AppState::keyEstablished());
    switch (in.status) {
    case Envelope::Incoming::Status::Undecipherable:
        failUndecipherable(in.errors);
        return;
    case Envelope::Incoming::Status::NotJson:
        qWarning().noquote() << "Received text is not JSON:" << QString::fromStdString(in.errors);
        break;
    case Envelope::Incoming::Status::BadFrameIndex:
    case Envelope::Incoming::Status::Ok:
        break;
    }

    qDebug().noquote().nospace() << "recv root : " << compactForLog(in.message);
    qDebug().noquote().nospace() << "output1 root : " << compactForLog(JsonText::member(in.message, "Info"));

    if (in.status == Envelope::Incoming::Status::BadFrameIndex) {
        qWarning("Message ignored: \"FrameIndex\" is not a 32-bit integer");
        return;
    }
    dispatch(in.message, in.frameIndex);
}

void TAVO_DSK_GUI::failUndecipherable(const std::string& errors)
{
    qCritical().noquote().nospace() << "Failed to parse Json : " << QString::fromStdString(errors);
    if (!showNotification(integrityErrorText())) {
        return;
    }
    close();
}

void TAVO_DSK_GUI::dispatch(const Json::Value& message, int n)
{
    // A window destroyed inside a box's modal wait must not be touched afterwards.
    QPointer<TAVO_DSK_GUI> self(this);
    switch (Envelope::routeOf(n)) {
    case Envelope::Route::ScreenUpdate:
        frames->sendDataToFrame(n, message);
        return;
    case Envelope::Route::FinalNotice:
    case Envelope::Route::AckNotice: {
        const std::optional<std::string> result = JsonText::resultText(message);
        if (!result) {
            qWarning() << "Notice ignored: \"Info\".\"result\" is not a text; FrameIndex" << n;
            return;
        }
        if (!showNotification(LocalText::decode(*result)) || !self) {
            return;
        }
        if (Envelope::routeOf(n) == Envelope::Route::FinalNotice) {
            close();
        } else {
            sendMessage(onlyFrameIndex(Envelope::BitAckNotice));
        }
        return;
    }
    case Envelope::Route::KeyInit:
        runKeyInitialisation(message);
        return;
    case Envelope::Route::UpdateNotice:
        if (!showNotification(updateNoticeText()) || !self) {
            return;
        }
        sendMessage(onlyFrameIndex(Envelope::BitUpdateNotice));
        return;
    case Envelope::Route::ShowScreen:
        frames->showFrame(this, n, JsonText::member(message, "Info"));
        return;
    }
}

void TAVO_DSK_GUI::runKeyInitialisation(const Json::Value& message)
{
    const std::optional<std::string> peerKey = JsonText::readText(JsonText::member(message, "Info"));
    if (!peerKey) {
        qWarning("Key initialisation ignored: \"Info\" is not a text");
        return;
    }
    // Without a key pair there is nothing to export or agree with; the old keys stay in force.
    if (!SecureUtil::generateKeyPair()) {
        qCritical("Key initialisation failed: no key pair could be generated");
        return;
    }
    const std::string ownKey = SecureUtil::publicKeyText();
    if (SecureUtil::deriveLinkKey(*peerKey) != 0) {
        qWarning("Key initialisation: the peer key could not be used; key material unchanged");
    }
    Json::Value reply(Json::objectValue);
    reply["initalizeKey"] = ownKey;
    sendMessage(reply);
    AppState::setKeyEstablished(true);
}
