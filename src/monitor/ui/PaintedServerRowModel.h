#pragma once

#include "monitor/ServerRowModel.h"

// The result list's rows as the window shows them: a coloured row gets its
// colour as background and dark text, readable under every skin.
class PaintedServerRowModel final : public ServerRowModel {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(PaintedServerRowModel)
public:
    explicit PaintedServerRowModel(QObject* parent = nullptr)
        : ServerRowModel(parent) {
        setSpareRowsKept(true);
    }

protected:
    QVariant colourData(const RowColour& colour, int role) const override;
};
