// The rows of a list view as the program gives them: UTF-8 texts, turned into Unicode only
// when shown or read, so that filling a list of many rows allocates once per row instead
// of several times per cell.
#pragma once

#include <QTreeWidgetItem>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace afx {

// A row whose texts live in the item's own memory, right behind it. A text set later with
// setText stands in place of the kept one.
class ListRowItem final : public QTreeWidgetItem {
public:
    // A row of `count` texts; the item copies them.
    static ListRowItem* New(const std::string_view* texts, int count);

    QVariant data(int column, int role) const override;
    // Whether the column shows `text` (UTF-8); compares the bytes while the text is kept.
    bool ShowsText(int column, std::string_view text) const;

    // `delete` on any item pointer gives the memory back as New took it.
    static void operator delete(void* memory) { ::operator delete(memory); }

private:
    struct ExtraBytes {
        std::size_t count;
    };
    static void* operator new(std::size_t size, ExtraBytes extra) {
        return ::operator new(size + extra.count);
    }
    static void operator delete(void* memory, ExtraBytes) { ::operator delete(memory); }

    explicit ListRowItem(int count) : m_count(count) {}
    // Unset when setText replaced the kept text.
    bool HasOwnText(int column) const;
    std::string_view KeptText(int column) const;

    int m_count;
    // Behind the item: m_count lengths (std::uint32_t), then the texts one after the other.
};

// Texts copied aside in blocks that never move, for rows held back before they become
// items. Blocks stay small enough for the allocator to take from memory it already holds.
class TextBlocks {
public:
    std::string_view Keep(std::string_view text);
    void Clear();

private:
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_next = nullptr;
    std::size_t m_free = 0;
};

}  // namespace afx
