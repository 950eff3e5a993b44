#include "UnframedRowDelegate.h"

UnframedRowDelegate::UnframedRowDelegate(QObject* parent) : QStyledItemDelegate(parent) {}

UnframedRowDelegate::~UnframedRowDelegate() = default;

void UnframedRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem unframed(option);
    unframed.state &= ~QStyle::State_HasFocus;
    QStyledItemDelegate::paint(painter, unframed, index);
}
