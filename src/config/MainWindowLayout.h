#pragma once

#include <QList>
#include <QtGlobal>

// The main window's stored size and the widths of the result list's columns,
// in twips (see Twips for the conversion to pixels).
struct MainWindowLayout {
    static constexpr int ColumnCount = 13;

    qint32 height = 0;
    qint32 width = 0;
    QList<qint32> columnWidths; // one per column, in list order
};
