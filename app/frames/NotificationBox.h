#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class NotificationBox;
}

// The program's one message box: a frameless window-modal veil over the window with a panel
// that shows one text and either an OK button or a yes/no pair. Every button and Escape close it
// through reject(); a caller that needs "yes" connects to confirm_press().
class NotificationBox : public QDialog
{
    Q_OBJECT

public:
    // `fullScreen`: the owner's window fills the screen, and so does the veil.
    NotificationBox(bool twoButtons, const QString& text, QWidget* parent, bool fullScreen = false);
    ~NotificationBox() override;

    QString text() const;

signals:
    void confirm_press();

public slots:
    void bt_confirm_press();

private:
    // Sets the text; one that does not fit the label on its lines is wrapped and, if need be,
    // drawn smaller, so no part of it is cut off.
    void showText(const QString& text);

    std::unique_ptr<Ui::NotificationBox> ui;
    const int horizontalOffset = 12;
    const int verticalOffset = 14;
};
