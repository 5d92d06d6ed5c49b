// The rows of a list view in report mode, as the view shows them and a screen reader reads
// them: a table of texts kept in UTF-8 as the program gives them, turned into Unicode only
// when shown or read, with a heading per column.
#pragma once

#include <QAbstractTableModel>
#include <QStringList>

#include <string>
#include <string_view>
#include <vector>

namespace afx {

// Cells row by row: a row of n columns is n strings, most short enough to need no
// allocation of their own.
class ListRows final : public QAbstractTableModel {
public:
    using QAbstractTableModel::QAbstractTableModel;

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    int Rows() const { return m_columns == 0 ? 0 : static_cast<int>(m_cells.size()) / m_columns; }
    int Columns() const { return m_columns; }
    // Existing rows get an empty cell in the new column.
    void InsertColumn(int column, const QString& heading);
    QString Heading(int column) const { return m_headings.value(column); }
    // A row with `text` in its first column and the others empty.
    void InsertRow(int row, std::string_view text);
    void SetText(int row, int column, std::string_view text);
    const std::string& Text(int row, int column) const { return m_cells[Cell(row, column)]; }
    // Replaces the rows by `cells` (row by row, Columns() to a row), telling the views only
    // of the rows between those that stay the same at either end.
    void Replace(std::vector<std::string> cells);
    // Appends the rows of `cells`.
    void Append(std::vector<std::string> cells);
    void Clear();

private:
    std::size_t Cell(int row, int column) const {
        return static_cast<std::size_t>(row) * m_columns + column;
    }
    bool SameRow(int row, const std::vector<std::string>& cells, int otherRow) const;

    int m_columns = 0;
    QStringList m_headings;
    std::vector<std::string> m_cells;
};

}  // namespace afx
