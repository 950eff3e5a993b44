#pragma once

#include <QAccessibleWidget>

class QLineEdit;

// What a screen reader reads of a field with an input mask: what the user typed, with the
// mask's separators between the parts typed so far, and nothing while the field is empty.
// Qt's own reading gives the mask's separators alone ("- -") for an empty field.
class MaskedFieldAccessible : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    explicit MaskedFieldAccessible(QLineEdit* field);
    ~MaskedFieldAccessible() override;

    // For QAccessible::installFactory: the reading of every MaskedLineEdit.
    static QAccessibleInterface* create(const QString& className, QObject* object);

    // The field's text as read: "010-12" for "010 - 12__ - ____".
    static QString typed(const QLineEdit* field);

    QString text(QAccessible::Text kind) const override;
    QAccessible::State state() const override;
    void* interface_cast(QAccessible::InterfaceType type) override;

    // QAccessibleTextInterface: the text as read, with the caret at its end and no selection.
    void selection(int selectionIndex, int* startOffset, int* endOffset) const override;
    int selectionCount() const override;
    void addSelection(int startOffset, int endOffset) override;
    void removeSelection(int selectionIndex) override;
    void setSelection(int selectionIndex, int startOffset, int endOffset) override;
    int cursorPosition() const override;
    void setCursorPosition(int position) override;
    QString text(int startOffset, int endOffset) const override;
    int characterCount() const override;
    QRect characterRect(int offset) const override;
    int offsetAtPoint(const QPoint& point) const override;
    void scrollToSubstring(int startIndex, int endIndex) override;
    QString attributes(int offset, int* startOffset, int* endOffset) const override;

private:
    const QLineEdit* field() const;
};
