// One mapping of the viewer's MIME map, and the containers the map is loaded into.
// Include after stdafx.h.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct MimeEntry {
    CString strExtension;  // the registry value's name, as the user typed it
    CString strMimeType;   // its data, e.g. "application/pdf"
};

typedef CArray<MimeEntry, const MimeEntry&> MimeEntryArray;

// The map for showing tens of thousands of mappings: the texts lie side by side in a few
// large blocks, so that loading allocates a few times instead of once per mapping, and
// putting the rows in order moves small records, not strings. Row i is the i-th mapping in
// the order loaded.
class CMimeMapTable {
public:
    INT_PTR GetSize() const { return static_cast<INT_PTR>(m_rows.size()); }
    void RemoveAll();

    // The stored bytes of row i. A NUL follows each text in memory, so data() is also the
    // C string of a text without a NUL of its own. Types end at their first NUL, as in
    // MimeEntry; extensions may hold one.
    std::string_view Extension(INT_PTR i) const;
    std::string_view MimeType(INT_PTR i) const;
    MimeEntry GetEntry(INT_PTR i) const;
    // TRUE when some row maps the same extension (IsSameMimeExtension).
    BOOL HasExtension(LPCTSTR lpszExtension) const;

    void Reserve(INT_PTR rows);
    void Add(std::string_view extension, std::string_view mimeType);
    // Row i becomes the row that was at order[i]; `order` holds every row once.
    void Reorder(const std::vector<std::uint32_t>& order);

private:
    struct Row {
        const char* extension;  // the type follows its NUL
        std::uint32_t extensionLength;
        std::uint32_t mimeTypeLength;
    };
    // Blocks never move once filled, so rows can point into them. Each is small enough for
    // the allocator to take from memory it already holds: one ever larger buffer would come
    // fresh from the system each time, which costs more than filling it.
    std::vector<std::unique_ptr<char[]>> m_blocks;
    char* m_blockNext = nullptr;  // where the last block's free bytes begin
    size_t m_blockFree = 0;
    std::vector<Row> m_rows;
};
