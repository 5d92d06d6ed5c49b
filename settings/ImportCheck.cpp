#include "stdafx.h"

#include "ImportCheck.h"

#include "SettingRules.h"

using marrowick::platform::RegFileEntry;

bool CheckImport(std::span<const RegFileEntry> entries, std::string& problem, std::size_t& line) {
    // The keys first: a file that reaches outside is refused whatever else it holds.
    for (const RegFileEntry& entry : entries) {
        if (entry.kind != RegFileEntry::kKey && entry.kind != RegFileEntry::kDeleteKey) continue;
        if (PlaceOfKey(entry.keyPath) == ViewerPlace::kOutside) {
            problem = "Der Schlüssel HKEY_LOCAL_MACHINE" +
                      (entry.keyPath.empty() ? std::string() : "\\" + std::string(entry.keyPath)) +
                      " gehört nicht zu den Einstellungen des Betrachters (erlaubt ist nur "
                      "HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander und was "
                      "darunter liegt).";
            line = entry.line;
            return false;
        }
    }
    for (const RegFileEntry& entry : entries) {
        if (entry.kind != RegFileEntry::kValue) continue;
        problem = CheckViewerValue(entry.keyPath, entry.value);
        if (!problem.empty()) {
            line = entry.line;
            return false;
        }
    }
    return true;
}
