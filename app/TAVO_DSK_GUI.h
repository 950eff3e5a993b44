#pragma once

#include <json/value.h>

#include <QMainWindow>
#include <QPoint>
#include <QPointer>

#include <functional>
#include <memory>

class FocusMark;
class FrameManager;
class LinkSession;
class NotificationBox;
class NotificationQueue;
class QVBoxLayout;

namespace Ui {
class TAVO_DSK_GUIClass;
}

// The one top-level window: background, close button and the framed area where the frame
// manager shows the screen of the moment. It shows what the link session reports and passes
// the screens' messages to it.
class TAVO_DSK_GUI : public QMainWindow
{
    Q_OBJECT

public:
    // `session` is the run's link; it outlives the window.
    TAVO_DSK_GUI(QWidget* parent, bool fullScreenMode, LinkSession& session);
    ~TAVO_DSK_GUI() override;

    FrameManager* frameManager() const { return frames; }
    NotificationQueue* notifications() const { return boxes; }
    FocusMark* focus() const { return focusMark; }
    bool fullScreenMode() const { return fullScreen; }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

public slots:
    void sockDisconnect();
    void closeEventFromFrame();

private:
    // Full screen: the close button, the framed area and the background for the window's size.
    void fitToScreen();
    // A box over the window; `afterDismissed` runs once the user has dismissed it.
    void showNotification(const QString& text, std::function<void()> afterDismissed);

    QPoint dragPosition;
    std::unique_ptr<Ui::TAVO_DSK_GUIClass> ui;
    LinkSession& session;
    const bool fullScreen;
    NotificationQueue* boxes = nullptr;
    FrameManager* frames = nullptr;
    FocusMark* focusMark = nullptr;
    QPointer<NotificationBox> notificationBox;
    bool dragging = false;
};
