#pragma once

#include <QStyledItemDelegate>

// Draws a list's rows without the style's focus frame around the current row: with the focus on
// the list from the moment it opens, that frame would change the screen for mouse users. The
// focus mark shows the current row to keyboard users instead.
class UnframedRowDelegate : public QStyledItemDelegate
{
    Q_OBJECT

public:
    explicit UnframedRowDelegate(QObject* parent);
    ~UnframedRowDelegate() override;

    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};
