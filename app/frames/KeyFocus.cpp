#include "KeyFocus.h"

#include <QAbstractButton>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QWidget>

namespace {

bool takesTab(const QWidget* widget, const QWidget* area)
{
    return widget != area && area->isAncestorOf(widget) && widget->isEnabled() && widget->isVisibleTo(area) &&
           (widget->focusPolicy() & Qt::TabFocus) == Qt::TabFocus;
}

} // namespace

KeyFocus::KeyFocus(QWidget* focusArea, QAbstractButton* main, Start start)
    : QObject(focusArea), area(focusArea), mainButton(main), focusOnShow(start == Start::FirstField)
{
    area->installEventFilter(this);
}

KeyFocus::~KeyFocus() = default;

QWidget* KeyFocus::firstControl(QWidget* area)
{
    QWidget* control = nullptr;
    for (QWidget* w = area->nextInFocusChain(); w != area; w = w->nextInFocusChain()) {
        if (!takesTab(w, area)) {
            continue;
        }
        if (qobject_cast<QLineEdit*>(w)) {
            return w;
        }
        if (!control) {
            control = w;
        }
    }
    return control;
}

void KeyFocus::startAt(QWidget* control)
{
    start = control;
}

void KeyFocus::focusFirst()
{
    QWidget* first = start ? start.data() : firstControl(area);
    if (first) {
        first->setFocus(Qt::OtherFocusReason);
    }
}

bool KeyFocus::eventFilter(QObject* object, QEvent* event)
{
    if (object != area) {
        return false;
    }
    if (event->type() == QEvent::Show && focusOnShow) {
        // Once: a screen that hides and shows again keeps the focus the user left it in.
        focusOnShow = false;
        focusFirst();
        return false;
    }
    if (event->type() != QEvent::KeyPress) {
        return false;
    }
    const int key = static_cast<QKeyEvent*>(event)->key();
    if (key != Qt::Key_Return && key != Qt::Key_Enter) {
        return false;
    }
    // Unhandled by the focused control, the key has come up to the screen.
    auto* focusedButton = qobject_cast<QPushButton*>(area->window()->focusWidget());
    if (focusedButton && area->isAncestorOf(focusedButton) && focusedButton->isEnabled()) {
        focusedButton->click();
        return true;
    }
    if (mainButton && mainButton->isEnabled() && mainButton->isVisible()) {
        mainButton->click();
        return true;
    }
    return false;
}
