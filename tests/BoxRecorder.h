#pragma once

// Answers every notification box of the test program as a user would, once it is on show,
// and keeps the texts the boxes showed. `answer` may leave a box open; the default presses OK.
#include "NotificationBox.h"

#include <QApplication>
#include <QEvent>
#include <QPointer>
#include <QPushButton>
#include <QStringList>
#include <QTimer>

#include <functional>

class BoxRecorder : public QObject
{
public:
    BoxRecorder() { qApp->installEventFilter(this); }
    ~BoxRecorder() override { qApp->removeEventFilter(this); }

    static void pressOk(NotificationBox* box) { box->findChild<QPushButton*>(QStringLiteral("bt_ok"))->click(); }

    QStringList texts;
    std::function<void(NotificationBox*)> answer;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* box = event->type() == QEvent::Show ? qobject_cast<NotificationBox*>(watched) : nullptr;
        if (box) {
            texts << box->text();
            QTimer::singleShot(0, box, [this, guard = QPointer<NotificationBox>(box)] {
                if (!guard) {
                    return;
                }
                if (answer) {
                    answer(guard);
                } else {
                    pressOk(guard);
                }
            });
        }
        return false;
    }
};
