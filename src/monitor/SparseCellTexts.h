#pragma once

#include <QList>
#include <QString>

#include <algorithm>

// The texts a row keeps for a few of its cells only (tags, tool-tips): most
// cells have none, so a row holds one list of the cells set instead of a
// text for every column. A cell once set stays set, even to an empty text.
class SparseCellTexts final {
public:
    // The cell's text, or null when it was never set.
    const QString* find(int column) const {
        const auto cell = lowerBound(column);
        return cell != m_cells.cend() && cell->column == column ? &cell->text : nullptr;
    }
    QString value(int column) const {
        const QString* text = find(column);
        return text ? *text : QString();
    }
    void set(int column, const QString& text) {
        const auto cell = lowerBound(column);
        if (cell != m_cells.cend() && cell->column == column)
            m_cells[std::distance(m_cells.cbegin(), cell)].text = text;
        else
            m_cells.insert(std::distance(m_cells.cbegin(), cell), Cell{column, text});
    }
    // The bytes the texts and the list take beyond the object itself.
    qsizetype retainedBytes() const {
        qsizetype bytes = m_cells.capacity() * qsizetype(sizeof(Cell));
        for (const Cell& cell : m_cells)
            bytes += cell.text.capacity() * qsizetype(sizeof(QChar));
        return bytes;
    }

private:
    struct Cell {
        int column;
        QString text;
    };
    QList<Cell>::const_iterator lowerBound(int column) const {
        return std::lower_bound(m_cells.cbegin(), m_cells.cend(), column,
                                [](const Cell& cell, int c) { return cell.column < c; });
    }

    QList<Cell> m_cells; // ordered by column
};
