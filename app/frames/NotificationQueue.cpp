#include "NotificationQueue.h"

#include "NotificationBox.h"

#include <QWidget>
#include <QtDebug>

#include <algorithm>

namespace {

// Boxes with nothing to do after them (a screen's texts) are capped: under a flood they would
// only bury the user.
constexpr int kMostWaitingWithoutAnswer = 8;

} // namespace

NotificationQueue::NotificationQueue(QWidget* window, bool fullScreenMode)
    : QObject(window), fullScreen(fullScreenMode)
{
}

NotificationQueue::~NotificationQueue() = default;

void NotificationQueue::show(QPointer<NotificationBox>& slot, const QString& text, QWidget* owner,
                             std::function<void()> afterDismissed)
{
    if (open || !waiting.empty()) {
        const auto withoutAnswer =
            std::count_if(waiting.begin(), waiting.end(), [](const Waiting& w) { return !w.afterDismissed; });
        if (!afterDismissed && withoutAnswer >= kMostWaitingWithoutAnswer) {
            qWarning().noquote() << "Notice dropped, too many boxes wait already:" << text.left(80);
            return;
        }
    }
    waiting.push_back({QPointer<QWidget>(owner), &slot, text, std::move(afterDismissed)});
    showNext();
}

void NotificationQueue::showNext()
{
    while (!open && !waiting.empty()) {
        Waiting next = std::move(waiting.front());
        waiting.pop_front();
        // A box whose owner went away while it waited is not shown.
        if (!next.owner) {
            continue;
        }
        auto* box = new NotificationBox(false, next.text, next.owner.data(), fullScreen);
        QPointer<NotificationBox>& slot = *next.slot;
        // The box before it has finished; it may still be delivering that signal.
        if (slot) {
            slot->deleteLater();
        }
        slot = box;
        open = box;
        connect(box, &QDialog::finished, this, [this, box, shown = std::move(next)] {
            if (open != box) {
                return;
            }
            open = nullptr;
            if (shown.owner && shown.afterDismissed) {
                shown.afterDismissed();
            }
            showNext();
        });
        // A box closed by its owner's end never reports finished: the next one follows on the
        // event loop's next turn, when the owner is gone.
        connect(box, &QObject::destroyed, this,
                [this] { QMetaObject::invokeMethod(this, &NotificationQueue::showNext, Qt::QueuedConnection); });
        box->open();
        emit opened(box);
    }
}

void NotificationQueue::discardWaiting()
{
    waiting.clear();
    // Forgotten before it is closed: its finished handler then no longer finds it open and
    // runs no follow-up.
    const QPointer<NotificationBox> closing = open;
    open = nullptr;
    if (closing) {
        closing->reject();
    }
}
