#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

// The visible keyboard focus: a ring around the focused control (for a list, around its
// current row), drawn once the user moves the focus with the keyboard and gone again at the
// next mouse press, so that a user of the mouse alone sees the screens as they were designed.
// It follows the focus into every window of the program, boxes included.
class FocusMark : public QObject
{
    Q_OBJECT

public:
    explicit FocusMark(QObject* parent);
    ~FocusMark() override;

    // The widget the ring surrounds now, if it is shown.
    QWidget* markedWidget() const;

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    void follow();

    bool keyboardInUse = false;
    QPointer<QWidget> ring;
    QPointer<QWidget> target;
};
