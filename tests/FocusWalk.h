#pragma once

// Shared by the screen tests: the keyboard's way through a screen, pressed key by key, and
// what a screen reader hears of each control on it.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAccessible>
#include <QApplication>
#include <QLineEdit>
#include <QRadioButton>
#include <QtTest>

#include <algorithm>

namespace FocusWalk {

// The controls a user acts on in `area`: enabled, on show, taking input.
inline QList<QWidget*> controls(QWidget* area)
{
    QList<QWidget*> found;
    for (QWidget* w : area->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(w) || qobject_cast<QLineEdit*>(w) ||
                             qobject_cast<QAbstractSlider*>(w) || qobject_cast<QAbstractItemView*>(w);
        // A list's own scroll bars are the list's; the cards' buttons in a list are controls.
        const bool scrollBar = w->inherits("QScrollBar");
        if (control && !scrollBar && w->isEnabled() && w->isVisible()) {
            found << w;
        }
    }
    return found;
}

inline QString accessibleName(QWidget* w)
{
    QAccessibleInterface* reading = QAccessible::queryAccessibleInterface(w);
    return reading ? reading->text(QAccessible::Name) : QString();
}

// Makes `window` the active one, so keys reach its focus the way a user's do.
inline bool activate(QWidget* window)
{
    window->show();
    QApplication::setActiveWindow(window);
    return QTest::qWaitForWindowActive(window);
}

// Presses Tab (or Shift+Tab) from the first stop of `area`'s chain until the focus comes back
// there; the object names it passed, the start first. In the window, Tab comes to the screen's
// first stop from the close button: a control ahead of the fields in the chain is out of order.
inline QStringList walk(QWidget* area, bool forward = true, int limit = 40)
{
    QWidget* window = area->window();
    QWidget* start = area->nextInFocusChain();
    while (start != area && !(start->isEnabled() && start->isVisible() && (start->focusPolicy() & Qt::TabFocus))) {
        start = start->nextInFocusChain();
    }
    start->setFocus(Qt::TabFocusReason);
    QStringList names;
    QWidget* now = start;
    for (int i = 0; now && i < limit; ++i) {
        names << now->objectName();
        QTest::keyClick(now, forward ? Qt::Key_Tab : Qt::Key_Backtab);
        now = window->focusWidget();
        if (now == start) {
            break;
        }
    }
    return names;
}

// What a walk missed or a screen reader could not name: empty when every control of `area` is
// reached and named.
inline QStringList unreachedOrUnnamed(QWidget* area, const QStringList& walked)
{
    QStringList problems;
    for (QWidget* w : controls(area)) {
        // Of a group of choices Tab stops at the chosen one, and the arrows reach the others.
        const QObjectList& siblings = w->parent()->children();
        const bool choiceReached =
            qobject_cast<QRadioButton*>(w) && std::any_of(siblings.begin(), siblings.end(), [&walked](QObject* other) {
                return qobject_cast<QRadioButton*>(other) && walked.contains(other->objectName());
            });
        if (!walked.contains(w->objectName()) && !choiceReached) {
            problems << w->objectName() + QStringLiteral(" not reached");
        }
        if (accessibleName(w).isEmpty()) {
            problems << w->objectName() + QStringLiteral(" has no name");
        }
    }
    return problems;
}

} // namespace FocusWalk
