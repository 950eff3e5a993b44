#include "MaskedLineEdit.h"

#include "MaskedFieldAccessible.h"

#include <QAccessible>

MaskedLineEdit::MaskedLineEdit(QWidget* parent) : QLineEdit(parent)
{
    // Qt keeps one copy of a factory however often it is installed.
    QAccessible::installFactory(&MaskedFieldAccessible::create);
}

MaskedLineEdit::~MaskedLineEdit() = default;
