#include "list_rows.h"

#include <algorithm>
#include <iterator>
#include <utility>

namespace afx {

int ListRows::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : Rows();
}

int ListRows::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : m_columns;
}

QVariant ListRows::data(const QModelIndex& index, int role) const {
    if ((role != Qt::DisplayRole && role != Qt::EditRole) || !index.isValid() ||
        index.row() >= Rows() || index.column() >= m_columns) {
        return QVariant();
    }
    return QString::fromStdString(Text(index.row(), index.column()));
}

QVariant ListRows::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole || section < 0 ||
        section >= m_columns) {
        return QVariant();
    }
    return m_headings.value(section);
}

Qt::ItemFlags ListRows::flags(const QModelIndex& index) const {
    return index.isValid() ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

void ListRows::InsertColumn(int column, const QString& heading) {
    const int rows = Rows();
    beginInsertColumns(QModelIndex(), column, column);
    std::vector<std::string> cells;
    cells.reserve(static_cast<std::size_t>(rows) * (m_columns + 1));
    for (int row = 0; row < rows; ++row) {
        for (int i = 0; i < m_columns; ++i) {
            if (i == column) cells.emplace_back();
            cells.push_back(std::move(m_cells[Cell(row, i)]));
        }
        if (column == m_columns) cells.emplace_back();
    }
    m_cells = std::move(cells);
    m_headings.insert(column, heading);
    ++m_columns;
    endInsertColumns();
}

void ListRows::InsertRow(int row, std::string_view text) {
    beginInsertRows(QModelIndex(), row, row);
    const auto at = m_cells.begin() + static_cast<std::ptrdiff_t>(Cell(row, 0));
    const auto first = m_cells.insert(at, static_cast<std::size_t>(m_columns), std::string());
    first->assign(text);
    endInsertRows();
}

void ListRows::SetText(int row, int column, std::string_view text) {
    m_cells[Cell(row, column)].assign(text);
    const QModelIndex changed = index(row, column);
    emit dataChanged(changed, changed, {Qt::DisplayRole});
}

bool ListRows::SameRow(int row, const std::vector<std::string>& cells, int otherRow) const {
    for (int column = 0; column < m_columns; ++column) {
        if (Text(row, column) != cells[static_cast<std::size_t>(otherRow) * m_columns + column]) {
            return false;
        }
    }
    return true;
}

void ListRows::Replace(std::vector<std::string> cells) {
    const int count = m_columns == 0 ? 0 : static_cast<int>(cells.size()) / m_columns;
    int last = Rows();
    // Only the rows between those that stay the same at either end change: after one
    // mapping was added, changed or deleted, that is a row or two, not the whole list.
    int first = 0;
    while (first < last && first < count && SameRow(first, cells, first)) ++first;
    int kept = 0;
    while (last - kept > first && count - kept > first &&
           SameRow(last - kept - 1, cells, count - kept - 1)) {
        ++kept;
    }
    last -= kept;
    // Views follow many rows that go faster when told that all of them changed.
    constexpr int kRowsToldOneByOne = 64;
    if (last - first > kRowsToldOneByOne || count - kept - first > kRowsToldOneByOne) {
        beginResetModel();
        m_cells = std::move(cells);
        endResetModel();
        return;
    }
    const auto cellAt = [this](std::vector<std::string>& of, int row) {
        return of.begin() + static_cast<std::ptrdiff_t>(row) * m_columns;
    };
    if (last > first) {
        beginRemoveRows(QModelIndex(), first, last - 1);
        m_cells.erase(cellAt(m_cells, first), cellAt(m_cells, last));
        endRemoveRows();
    }
    if (count - kept > first) {
        beginInsertRows(QModelIndex(), first, count - kept - 1);
        m_cells.insert(cellAt(m_cells, first), std::make_move_iterator(cellAt(cells, first)),
                       std::make_move_iterator(cellAt(cells, count - kept)));
        endInsertRows();
    }
}

void ListRows::Append(std::vector<std::string> cells) {
    const int count = m_columns == 0 ? 0 : static_cast<int>(cells.size()) / m_columns;
    if (count == 0) return;
    const int rows = Rows();
    beginInsertRows(QModelIndex(), rows, rows + count - 1);
    if (m_cells.empty()) {
        m_cells = std::move(cells);
    } else {
        m_cells.insert(m_cells.end(), std::make_move_iterator(cells.begin()),
                       std::make_move_iterator(cells.end()));
    }
    endInsertRows();
}

void ListRows::Clear() {
    if (m_cells.empty()) return;
    beginResetModel();
    m_cells.clear();
    endResetModel();
}

}  // namespace afx
