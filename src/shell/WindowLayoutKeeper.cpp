#include "shell/WindowLayoutKeeper.h"

#include "config/Twips.h"

#include <QHeaderView>
#include <QTreeView>

namespace {
// Twips for a pixel size; a size nobody changed keeps its stored twips.
qint32 keptTwips(int pixels, qint32 loadedTwips, int (*toPixels)(qint32),
                 qint32 (*fromPixels)(int)) {
    return pixels == toPixels(loadedTwips) ? loadedTwips : fromPixels(pixels);
}
} // namespace

void WindowLayoutKeeper::apply(const MainWindowLayout& layout, QWidget& window, QTreeView& list) {
    m_loaded = layout;
    window.resize(Twips::toPixelsX(layout.width), Twips::toPixelsY(layout.height));
    for (int column = 0; column < layout.columnWidths.size(); ++column)
        list.header()->resizeSection(column, Twips::toPixelsX(layout.columnWidths.at(column)));
}

MainWindowLayout WindowLayoutKeeper::current(const QWidget& window, const QTreeView& list) const {
    MainWindowLayout layout;
    layout.height =
        keptTwips(window.height(), m_loaded.height, Twips::toPixelsY, Twips::fromPixelsY);
    layout.width = keptTwips(window.width(), m_loaded.width, Twips::toPixelsX, Twips::fromPixelsX);
    for (int column = 0; column < MainWindowLayout::ColumnCount; ++column) {
        const int pixels = list.header()->sectionSize(column);
        const qint32 loaded = column < m_loaded.columnWidths.size()
                                  ? m_loaded.columnWidths.at(column)
                                  : Twips::fromPixelsX(pixels);
        layout.columnWidths.append(keptTwips(pixels, loaded, Twips::toPixelsX, Twips::fromPixelsX));
    }
    return layout;
}
