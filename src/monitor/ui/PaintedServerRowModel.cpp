#include "monitor/ui/PaintedServerRowModel.h"

#include <QColor>

QVariant PaintedServerRowModel::colourData(const RowColour& colour, int role) const {
    if (role == Qt::ForegroundRole)
        return QColor(Qt::black);
    return QColor(colour.red(), colour.green(), colour.blue());
}
