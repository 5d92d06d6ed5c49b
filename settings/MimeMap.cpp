// The MIME map operations of CViewerSettings: one REG_SZ value per extension.
#include "stdafx.h"

#include "ViewerSettings.h"

#include <mbstring.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace {

void Report(BOOL* pbWritten, BOOL bWritten) {
    if (pbWritten != NULL) *pbWritten = bWritten;
}

// The order of the map: ascending as _mbsicmp orders the extensions, equal ones in the
// order given. Position i takes mapping order[i]; `extensionAt(i)` is mapping i's extension
// as a C string. Each extension is folded once, not on every comparison: the keys lie side
// by side in one buffer, and the sort moves their first sixteen bytes and the mapping's
// index, looking at the rest of the keys only when those are equal.
template <class ExtensionAt>
std::vector<std::uint32_t> MimeMapOrder(std::uint32_t count, ExtensionAt extensionAt) {
    std::string keyBytes;
    std::vector<std::uint32_t> keyEnds(count);
    struct SortItem {
        // The key's first bytes, big-endian, zero beyond its end.
        std::uint64_t start;
        std::uint64_t next;
        std::uint32_t index;
    };
    std::vector<SortItem> items(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        const std::string key =
            marrowick::platform::MbsicmpKey(reinterpret_cast<const unsigned char*>(extensionAt(i)));
        keyBytes += key;
        keyEnds[i] = static_cast<std::uint32_t>(keyBytes.size());
        unsigned char head[16] = {};
        std::memcpy(head, key.data(), std::min(key.size(), sizeof head));
        std::uint64_t start = 0;
        std::uint64_t next = 0;
        for (size_t b = 0; b < 8; ++b) start = start << 8 | head[b];
        for (size_t b = 8; b < 16; ++b) next = next << 8 | head[b];
        items[i] = {start, next, i};
    }
    const auto key = [&](std::uint32_t i) {
        const std::uint32_t begin = i == 0 ? 0 : keyEnds[i - 1];
        return std::string_view(keyBytes).substr(begin, keyEnds[i] - begin);
    };
    // Keys hold no NUL, so a key that ends within the first sixteen bytes sorts before every
    // longer one with the same start, as it does when compared whole. Equal keys go by their
    // index, so the sort, in place and faster than a stable one, gives the stable order.
    std::sort(items.begin(), items.end(), [&](const SortItem& a, const SortItem& b) {
        if (a.start != b.start) return a.start < b.start;
        if (a.next != b.next) return a.next < b.next;
        if (const int order = key(a.index).compare(key(b.index)); order != 0) return order < 0;
        return a.index < b.index;
    });
    std::vector<std::uint32_t> order(count);
    for (std::uint32_t i = 0; i < count; ++i) order[i] = items[i].index;
    return order;
}

}  // namespace

BOOL CViewerSettings::GetMimeMap(MimeEntryArray& entries) {
    m_regManager.EnumRegValues(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, entries, m_hTransaction);
    SortMimeMap(entries);
    return TRUE;
}

BOOL CViewerSettings::GetMimeMap(CMimeMapTable& table) {
    table.RemoveAll();
    m_regManager.EnumRegValues(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, table, m_hTransaction);
    table.Reorder(MimeMapOrder(static_cast<std::uint32_t>(table.GetSize()),
                               [&](std::uint32_t i) { return table.Extension(i).data(); }));
    return TRUE;
}

void CViewerSettings::SortMimeMap(MimeEntryArray& entries) {
    const auto count = static_cast<std::uint32_t>(entries.GetSize());
    const std::vector<std::uint32_t> order =
        MimeMapOrder(count, [&](std::uint32_t i) { return LPCTSTR(entries[i].strExtension); });
    // Position i takes entry order[i]: each cycle of that permutation is followed once,
    // so every entry moves once and no second array of entries is needed.
    std::vector<bool> placed(count);
    for (std::uint32_t start = 0; start < count; ++start) {
        if (placed[start]) continue;
        MimeEntry held = std::move(entries[start]);
        std::uint32_t position = start;
        for (std::uint32_t from = order[position]; from != start;
             position = from, from = order[position]) {
            entries[position] = std::move(entries[from]);
            placed[position] = true;
        }
        entries[position] = std::move(held);
        placed[position] = true;
    }
}

BOOL CViewerSettings::AddMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    Report(pbWritten,
           Store({SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str())}));
    return TRUE;
}

BOOL CViewerSettings::ChangeMimeType(CString strExtension, CString strMimeType, BOOL* pbWritten) {
    return AddMimeType(strExtension, strMimeType, pbWritten);
}

BOOL CViewerSettings::DeleteMimeType(CString strExtension, BOOL* pbWritten) {
    // A mapping someone else removed meanwhile is gone, as the user asked: not a failure.
    // The key is created as the registry's own deletion would.
    Report(pbWritten, Store({KeyChange(Change::kCreateKey, kMimeMapKeyPath),
                             DeleteValueChange(kMimeMapKeyPath, strExtension.str())}));
    return TRUE;
}

ChangeOutcome CViewerSettings::AddMimeMapping(const CString& strExtension,
                                              const CString& strMimeType) {
    Change add = SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str());
    add.expected.kind = Expectation::kAbsent;
    return ApplyChangeSet({add});
}

ChangeOutcome CViewerSettings::ChangeMimeMapping(const CString& strExtension,
                                                 const CString& strMimeType) {
    Change change = SetStringChange(kMimeMapKeyPath, strExtension.str(), strMimeType.str());
    change.expected.kind = Expectation::kPresent;
    return ApplyChangeSet({change});
}

ChangeOutcome CViewerSettings::DeleteMimeMapping(const CString& strExtension) {
    return ApplyChangeSet({DeleteValueChange(kMimeMapKeyPath, strExtension.str())});
}
