#include "MaskedFieldAccessible.h"

#include "MaskedLineEdit.h"

MaskedFieldAccessible::MaskedFieldAccessible(QLineEdit* lineEdit)
    : QAccessibleWidget(lineEdit, QAccessible::EditableText)
{
}

MaskedFieldAccessible::~MaskedFieldAccessible() = default;

QAccessibleInterface* MaskedFieldAccessible::create(const QString& className, QObject* object)
{
    auto* lineEdit = qobject_cast<MaskedLineEdit*>(object);
    if (className != QLatin1String("MaskedLineEdit") || !lineEdit) {
        return nullptr;
    }
    return new MaskedFieldAccessible(lineEdit);
}

QString MaskedFieldAccessible::typed(const QLineEdit* field)
{
    QString digits = field->text();
    digits.remove(QLatin1Char(' '));
    // Separators of parts not yet typed are not the user's.
    while (!digits.isEmpty() && !digits.back().isLetterOrNumber()) {
        digits.chop(1);
    }
    while (!digits.isEmpty() && !digits.front().isLetterOrNumber()) {
        digits.remove(0, 1);
    }
    return digits;
}

const QLineEdit* MaskedFieldAccessible::field() const
{
    return static_cast<const QLineEdit*>(object());
}

QString MaskedFieldAccessible::text(QAccessible::Text kind) const
{
    if (kind == QAccessible::Value) {
        return typed(field());
    }
    return QAccessibleWidget::text(kind);
}

QAccessible::State MaskedFieldAccessible::state() const
{
    QAccessible::State state = QAccessibleWidget::state();
    state.editable = !field()->isReadOnly();
    state.selectableText = true;
    return state;
}

void* MaskedFieldAccessible::interface_cast(QAccessible::InterfaceType type)
{
    if (type == QAccessible::TextInterface) {
        return static_cast<QAccessibleTextInterface*>(this);
    }
    return QAccessibleWidget::interface_cast(type);
}

void MaskedFieldAccessible::selection(int /*selectionIndex*/, int* startOffset, int* endOffset) const
{
    *startOffset = 0;
    *endOffset = 0;
}

int MaskedFieldAccessible::selectionCount() const
{
    return 0;
}

void MaskedFieldAccessible::addSelection(int /*startOffset*/, int /*endOffset*/) {}

void MaskedFieldAccessible::removeSelection(int /*selectionIndex*/) {}

void MaskedFieldAccessible::setSelection(int /*selectionIndex*/, int /*startOffset*/, int /*endOffset*/) {}

int MaskedFieldAccessible::cursorPosition() const
{
    return characterCount();
}

void MaskedFieldAccessible::setCursorPosition(int /*position*/) {}

QString MaskedFieldAccessible::text(int startOffset, int endOffset) const
{
    return typed(field()).mid(startOffset, endOffset - startOffset);
}

int MaskedFieldAccessible::characterCount() const
{
    return typed(field()).size();
}

QRect MaskedFieldAccessible::characterRect(int /*offset*/) const
{
    return QRect();
}

int MaskedFieldAccessible::offsetAtPoint(const QPoint& /*point*/) const
{
    return -1;
}

void MaskedFieldAccessible::scrollToSubstring(int /*startIndex*/, int /*endIndex*/) {}

QString MaskedFieldAccessible::attributes(int offset, int* startOffset, int* endOffset) const
{
    *startOffset = offset;
    *endOffset = offset;
    return QString();
}
