#include "list_rows.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace afx {

namespace {

const std::size_t kBlockBytes = 64 * 1024;

}  // namespace

ListRowItem* ListRowItem::New(const std::string_view* texts, int count) {
    std::size_t bytes = sizeof(std::uint32_t) * static_cast<std::size_t>(count);
    for (int i = 0; i < count; ++i) bytes += texts[i].size();
    auto* item = new (ExtraBytes{bytes}) ListRowItem(count);
    char* at = reinterpret_cast<char*>(item + 1);
    for (int i = 0; i < count; ++i) {
        const auto length = static_cast<std::uint32_t>(texts[i].size());
        std::memcpy(at + sizeof length * i, &length, sizeof length);
    }
    at += sizeof(std::uint32_t) * static_cast<std::size_t>(count);
    for (int i = 0; i < count; ++i) {
        if (!texts[i].empty()) std::memcpy(at, texts[i].data(), texts[i].size());
        at += texts[i].size();
    }
    return item;
}

std::string_view ListRowItem::KeptText(int column) const {
    const char* lengths = reinterpret_cast<const char*>(this + 1);
    const char* text = lengths + sizeof(std::uint32_t) * static_cast<std::size_t>(m_count);
    std::uint32_t length = 0;
    for (int i = 0; i <= column; ++i) {
        text += length;
        std::memcpy(&length, lengths + sizeof length * i, sizeof length);
    }
    return std::string_view(text, length);
}

bool ListRowItem::HasOwnText(int column) const {
    return QTreeWidgetItem::data(column, Qt::DisplayRole).isValid();
}

QVariant ListRowItem::data(int column, int role) const {
    if ((role == Qt::DisplayRole || role == Qt::EditRole) && column >= 0 && column < m_count &&
        !HasOwnText(column)) {
        return QString::fromUtf8(KeptText(column));
    }
    return QTreeWidgetItem::data(column, role);
}

bool ListRowItem::ShowsText(int column, std::string_view text) const {
    if (column >= 0 && column < m_count && !HasOwnText(column)) return KeptText(column) == text;
    return QTreeWidgetItem::text(column) == QString::fromUtf8(text);
}

std::string_view TextBlocks::Keep(std::string_view text) {
    if (text.empty()) return {};
    if (text.size() > m_free) {
        // A text longer than a block gets a block of its own size.
        const std::size_t bytes = std::max(text.size(), kBlockBytes);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(bytes));
        m_next = m_blocks.back().get();
        m_free = bytes;
    }
    char* const at = m_next;
    std::memcpy(at, text.data(), text.size());
    m_next += text.size();
    m_free -= text.size();
    return std::string_view(at, text.size());
}

void TextBlocks::Clear() {
    m_blocks.clear();
    m_next = nullptr;
    m_free = 0;
}

}  // namespace afx
