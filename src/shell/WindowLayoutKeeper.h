#pragma once

#include "config/MainWindowLayout.h"

#include <QtGlobal>

class QTreeView;
class QWidget;

// The window's size and the list's column widths between start and exit:
// the stored layout is applied once, and the layout to store again keeps
// every size nobody changed in its stored twips, so start and exit do not
// drift it by rounding.
class WindowLayoutKeeper final {
    Q_DISABLE_COPY_MOVE(WindowLayoutKeeper)
public:
    WindowLayoutKeeper() = default;

    void apply(const MainWindowLayout& layout, QWidget& window, QTreeView& list);
    MainWindowLayout current(const QWidget& window, const QTreeView& list) const;

private:
    MainWindowLayout m_loaded;
};
