#include "shell/ElidingHeaderView.h"

#include <QStyleOptionHeader>

ElidingHeaderView::ElidingHeaderView(Qt::Orientation orientation, QWidget* parent)
    : QHeaderView(orientation, parent) {
    setTextElideMode(Qt::ElideRight);
}

QString ElidingHeaderView::shownText(int logicalIndex) const {
    QStyleOptionHeaderV2 option;
    initStyleOption(&option);
    initStyleOptionForIndex(&option, logicalIndex);
    return option.text;
}

void ElidingHeaderView::initStyleOptionForIndex(QStyleOptionHeader* option,
                                                int logicalIndex) const {
    QHeaderView::initStyleOptionForIndex(option, logicalIndex);
    if (option->text.isEmpty() || !option->icon.isNull())
        return;
    // The label's room is the section less the style's margins, padding and
    // sort arrow, which the style reports for a section of this size.
    QStyleOptionHeader sized(*option);
    sized.rect = orientation() == Qt::Horizontal ? QRect(0, 0, sectionSize(logicalIndex), height())
                                                 : QRect(0, 0, width(), sectionSize(logicalIndex));
    const QRect label = style()->subElementRect(QStyle::SE_HeaderLabel, &sized, this);
    const int room = orientation() == Qt::Horizontal ? label.width() : label.height();
    option->text = viewport()->fontMetrics().elidedText(option->text, textElideMode(), room);
}
