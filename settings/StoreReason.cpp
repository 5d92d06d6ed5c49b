#include "stdafx.h"

#include "StoreReason.h"

#include <hive_file.h>

#include <utility>

#include "HiveProblemText.h"
#include "SettingRules.h"
#include "resource.h"

std::string RegistryErrorText(LONG code) {
    const char* meaning = nullptr;
    switch (code) {
        case ERROR_FILE_NOT_FOUND:
            meaning = "nicht gefunden";
            break;
        case ERROR_ACCESS_DENIED:
            meaning = "Zugriff verweigert";
            break;
        case ERROR_OUTOFMEMORY:
            meaning = "nicht genügend Speicher";
            break;
        case ERROR_WRITE_FAULT:
            meaning = "Schreibfehler";
            break;
        case ERROR_INVALID_PARAMETER:
            meaning = "ungültiger Parameter";
            break;
        case ERROR_BAD_PATHNAME:
            meaning = "ungültiger Pfad";
            break;
        case ERROR_BADDB:
            meaning = "die Registrierung ist beschädigt";
            break;
        case ERROR_KEY_DELETED:
            meaning = "der Schlüssel wurde gelöscht";
            break;
        case ERROR_NOT_ENOUGH_QUOTA:
            meaning = "zu viele wartende Anfragen";
            break;
        default:
            break;
    }
    std::string text = "Win32-Fehler " + std::to_string(code);
    if (meaning) text += std::string(" (") + meaning + ")";
    // The store's own account of the place, when the code does not say it all.
    if (std::string problem = DescribeHiveProblem(marrowick::platform::GetHiveProblem());
        !problem.empty()) {
        if (problem.ends_with('.')) problem.pop_back();
        text += ": " + problem;
    }
    return text;
}

std::string ChangeRefusalText(const ChangeOutcome& outcome) {
    const std::string first =
        outcome.messageId ? LoadResourceText(outcome.messageId) : outcome.message;
    // The outcome's own message says more than the resource when the settings service or
    // a rule gave it; a plain registry failure is told by its code.
    std::string reason = outcome.message != first ? outcome.message : std::string();
    if (reason.empty() && outcome.result == ChangeOutcome::kRegistryError) {
        reason = RegistryErrorText(outcome.status) + ".";
    }
    return reason.empty() ? first : first + "\n" + reason;
}

std::string UnreadableSettingsText(LONG status) {
    std::string reason = RegistryErrorText(status);
    const marrowick::platform::HiveFileStatus hive = marrowick::platform::GetHiveFileStatus();
    std::string place = hive.path;
    if (status == ERROR_BADDB && hive.failedLine) {
        place += ", Zeile " + std::to_string(hive.failedLine);
    }
    std::string text = LoadResourceText(IDS_SETTINGS_UNREADABLE);
    for (const auto& [mark, filling] : {std::pair{"%1", &place}, std::pair{"%2", &reason}}) {
        if (const std::size_t at = text.find(mark); at != std::string::npos) {
            text.replace(at, 2, *filling);
        }
    }
    return text;
}
