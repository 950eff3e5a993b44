#pragma once

#include <QObject>
#include <QPointer>
#include <QWidget>

class QAbstractButton;

// The keyboard's way through one screen (or the window around it): the focus on the first
// field when the screen first shows (on its first control where it has no field), Return on a
// focused button presses that button, and, where given, Return elsewhere presses the screen's
// main button. The order of Tab is the form's own.
class KeyFocus : public QObject
{
    Q_OBJECT

public:
    enum class Start
    {
        FirstField,
        Nowhere
    };

    // `mainButton` may be null: the screen's fields already press it on Return.
    KeyFocus(QWidget* area, QAbstractButton* mainButton, Start start = Start::FirstField);
    ~KeyFocus() override;

    // Where the focus goes when `area` opens: its first enabled field, else its first enabled
    // control, in the order of Tab; null when it has neither.
    static QWidget* firstControl(QWidget* area);
    // Where the focus starts instead, for a screen whose first control is not the first in
    // its chain (Tab goes round, and Qt may keep a later control in front).
    void startAt(QWidget* control);
    // Puts the focus where it starts, now: for a screen whose form shows after it opened.
    void focusFirst();

protected:
    bool eventFilter(QObject* object, QEvent* event) override;

private:
    QWidget* area;
    QAbstractButton* mainButton;
    bool focusOnShow;
    QPointer<QWidget> start;
};
