// The MIME map as a table of texts in blocks.
#include "stdafx.h"

#include <algorithm>
#include <cstring>

#include "MimeEntry.h"
#include "SettingRules.h"

namespace {

const size_t kBlockBytes = 64 * 1024;

}  // namespace

void CMimeMapTable::RemoveAll() {
    m_blocks.clear();
    m_blockNext = nullptr;
    m_blockFree = 0;
    m_rows.clear();
}

std::string_view CMimeMapTable::Extension(INT_PTR i) const {
    const Row& row = m_rows.at(static_cast<size_t>(i));
    return std::string_view(row.extension, row.extensionLength);
}

std::string_view CMimeMapTable::MimeType(INT_PTR i) const {
    const Row& row = m_rows.at(static_cast<size_t>(i));
    return std::string_view(row.extension + row.extensionLength + 1, row.mimeTypeLength);
}

MimeEntry CMimeMapTable::GetEntry(INT_PTR i) const {
    const std::string_view extension = Extension(i);
    const std::string_view mimeType = MimeType(i);
    return MimeEntry{CString(extension.data(), static_cast<int>(extension.size())),
                     CString(mimeType.data(), static_cast<int>(mimeType.size()))};
}

BOOL CMimeMapTable::HasExtension(LPCTSTR lpszExtension) const {
    for (const Row& row : m_rows) {
        if (IsSameMimeExtension(row.extension, lpszExtension)) return TRUE;
    }
    return FALSE;
}

void CMimeMapTable::Reserve(INT_PTR rows) {
    m_rows.reserve(static_cast<size_t>(rows));
}

void CMimeMapTable::Add(std::string_view extension, std::string_view mimeType) {
    const size_t bytes = extension.size() + 1 + mimeType.size() + 1;
    if (bytes > m_blockFree) {
        // A text longer than a block gets a block of its own size.
        const size_t blockBytes = std::max(bytes, kBlockBytes);
        m_blocks.push_back(std::make_unique_for_overwrite<char[]>(blockBytes));
        m_blockNext = m_blocks.back().get();
        m_blockFree = blockBytes;
    }
    char* const at = m_blockNext;
    std::memcpy(at, extension.data(), extension.size());
    at[extension.size()] = '\0';
    std::memcpy(at + extension.size() + 1, mimeType.data(), mimeType.size());
    at[bytes - 1] = '\0';
    m_blockNext += bytes;
    m_blockFree -= bytes;
    m_rows.push_back({at, static_cast<std::uint32_t>(extension.size()),
                      static_cast<std::uint32_t>(mimeType.size())});
}

void CMimeMapTable::Reorder(const std::vector<std::uint32_t>& order) {
    std::vector<Row> rows;
    rows.reserve(order.size());
    for (const std::uint32_t from : order) rows.push_back(m_rows.at(from));
    m_rows = std::move(rows);
}
