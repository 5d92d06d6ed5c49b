// Where the viewer's settings lie, and what the viewer reads of them after a dialog ran:
// through the settings' one read function, and the MIME map through its own read. Tests
// plant settings in the hive's text (TemporaryHive::Plant*), as another writer leaves them.
#pragma once

#include "stdafx.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>

#include "SettingRules.h"
#include "ViewerSettings.h"

namespace marrowick::test {

inline constexpr LPCSTR kViewerKey = "Software\\TAVIK\\Brisvandale\\Pallisander";
inline constexpr LPCSTR kObjectNumKey = "Software\\TAVIK\\Brisvandale\\Pallisander\\ObjectNum";
inline constexpr LPCSTR kMimeMapKey = "SOFTWARE\\Tavik\\Brisvandale\\Pallisander\\MimeMap";

// The number the viewer reads for a setting (a sort key's position for its identifier), or
// nothing when no readable value is stored.
inline std::optional<int> StoredSetting(const std::string& valueName) {
    const SettingRule* rule = FindSettingRule(valueName);
    if (!rule) {
        ADD_FAILURE() << "No setting is named " << valueName;
        return std::nullopt;
    }
    const SettingReading reading = ReadSetting(*rule);
    if (!reading.bStored) return std::nullopt;
    return reading.nNumber;
}

// The MIME type mapped to exactly this extension (letter case included), or nothing.
inline std::optional<std::string> StoredMimeType(const std::string& extension) {
    CViewerSettings settings;
    MimeEntryArray entries;
    settings.GetMimeMap(entries);
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        if (entries[i].strExtension.str() == extension) return entries[i].strMimeType.str();
    }
    return std::nullopt;
}

// A hive the store cannot parse: nothing can be read from it or written to it.
inline constexpr const char* kCorruptHive = "not a registry hive\n[unterminated\n";

}  // namespace marrowick::test
