#pragma once

#include <QDialog>
#include <QSharedPointer>

#include <functional>
#include <memory>

namespace Ui {
class NotificationBox;
}

// The program's one message box: a frameless modal veil over the window with a panel that
// shows one text and either an OK button or a yes/no pair. Its exec always reports Rejected;
// a caller that needs "yes" connects to confirm_press().
class NotificationBox : public QDialog
{
    Q_OBJECT

public:
    NotificationBox(bool twoButtons, const QString& text, QWidget* parent);
    ~NotificationBox() override;

    // A shared handle that never deletes the box twice, even when the box's Qt parent was
    // destroyed first and took the box with it.
    static QSharedPointer<NotificationBox> create(bool twoButtons, const QString& text, QWidget* parent);

    // The showing sequence of every caller: a one-button box stored in `slot` (releasing the
    // previous one), made modal and executed; `afterDismissed` runs once the user has dismissed
    // it, while `owner` still exists. Boxes never open inside another box's wait: one asked for
    // while a box is open waits its turn and this returns at once; it is shown, and its
    // `afterDismissed` run, when the boxes before it have been dismissed. Work that must follow
    // the user's answer therefore goes into `afterDismissed`. Returns false when `owner` was
    // destroyed meanwhile: the caller must then not touch itself any more.
    static bool showNotification(QSharedPointer<NotificationBox>& slot, const QString& text, QWidget* owner,
                                 std::function<void()> afterDismissed = {});

    // The program is closing: the waiting boxes are dropped with what was to follow them, and
    // the open one is closed without its follow-up.
    static void discardWaiting();
    // Boxes waiting behind the open one.
    static int waitingCount();

    // Tests answer boxes through this hook, called from inside the box's modal loop, so no
    // modal wait ever blocks a test. Empty in the program.
    using ExecHook = std::function<void(NotificationBox*)>;
    static void setExecHook(ExecHook hook);

    QString text() const;

signals:
    void confirm_press();

public slots:
    void bt_confirm_press();

private:
    // One box, executed; whether the user answered it (rather than the program ending its wait).
    static bool showOne(QSharedPointer<NotificationBox>& slot, const QString& text, QWidget* owner);

    // Sets the text; one that does not fit the label on its lines is wrapped and, if need be,
    // drawn smaller, so no part of it is cut off.
    void showText(const QString& text);

    std::unique_ptr<Ui::NotificationBox> ui;
    const int horizontalOffset = 12;
    const int verticalOffset = 14;
};
