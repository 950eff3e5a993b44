#pragma once

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <functional>

class NotificationBox;
class QWidget;

// The boxes of one window, shown one at a time: a box asked for while another is open waits
// its turn, first come first shown. Nobody waits in a box: it opens, and what must follow the
// user's answer runs when the box reports that it has finished.
class NotificationQueue : public QObject
{
    Q_OBJECT

public:
    // `window` owns the queue; its boxes cover the screen when `fullScreen`.
    NotificationQueue(QWidget* window, bool fullScreen);
    ~NotificationQueue() override;

    // A one-button box with `text` over `owner`, stored in `slot` (the previous box there is
    // released); `afterDismissed` runs once the user has dismissed it, while `owner` exists. A
    // box whose owner is gone before its turn is not shown.
    void show(QPointer<NotificationBox>& slot, const QString& text, QWidget* owner,
              std::function<void()> afterDismissed = {});

    // The program is closing: the waiting boxes are dropped with what was to follow them, and
    // the open one is closed without its follow-up.
    void discardWaiting();

    NotificationBox* openBox() const { return open.data(); }
    // Boxes waiting behind the open one.
    int waitingCount() const { return static_cast<int>(waiting.size()); }

signals:
    // A box has opened; tests answer boxes from here.
    void opened(NotificationBox* box);

private:
    struct Waiting
    {
        QPointer<QWidget> owner;
        QPointer<NotificationBox>* slot;
        QString text;
        std::function<void()> afterDismissed;
    };

    void showNext();

    const bool fullScreen;
    std::deque<Waiting> waiting;
    QPointer<NotificationBox> open;
};
