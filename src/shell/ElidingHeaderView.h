#pragma once

#include <QHeaderView>

// A header whose captions end in "…" when a section is too narrow for them,
// as the list's cells do, instead of being cut off mid-character. Section
// sizes are untouched.
class ElidingHeaderView final : public QHeaderView {
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(ElidingHeaderView)
public:
    explicit ElidingHeaderView(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The caption as the section at logicalIndex draws it at its current size.
    QString shownText(int logicalIndex) const;

protected:
    void initStyleOptionForIndex(QStyleOptionHeader* option, int logicalIndex) const override;
};
