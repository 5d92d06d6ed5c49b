#include "stdafx.h"

#include "CommandLine.h"

#include <reg_file.h>

#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>

#include "Files.h"
#include "Json.h"
#include "RegistryChanges.h"
#include "SettingsClient.h"
#include "ViewerSettings.h"
#include "dialog_template.h"
#include "resource.h"

namespace marrowick::cli {

namespace {

using platform::RegFileFormat;
using platform::RegFileValue;

constexpr const char* kVersion = "1.0";

// The framework's data-exchange messages, which the main dialog shows for its counts.
CString LoadText(UINT id) {
    CString text;
    text.LoadString(id);
    return text;
}

std::string RangeMessage(int lower, int upper) {
    CString text = LoadText(AFX_IDP_PARSE_INT_RANGE);
    std::string message(text);
    for (const auto& [mark, number] : {std::pair{"%1", lower}, std::pair{"%2", upper}}) {
        const std::size_t at = message.find(mark);
        if (at != std::string::npos) message.replace(at, 2, std::to_string(number));
    }
    return message;
}

bool SameIgnoringCase(const std::string& a, const char* b) {
    return _mbsicmp(reinterpret_cast<const unsigned char*>(a.c_str()),
                    reinterpret_cast<const unsigned char*>(b)) == 0;
}

// A whole number as the dialog's edits accept one: optional sign, decimal digits.
std::optional<long long> ParseWholeNumber(const std::string& text) {
    std::size_t i = text.starts_with('-') || text.starts_with('+') ? 1 : 0;
    if (i == text.size() || text.size() > 12) return std::nullopt;
    for (std::size_t k = i; k < text.size(); ++k) {
        if (text[k] < '0' || text[k] > '9') return std::nullopt;
    }
    return std::stoll(text);
}

// ---- The scalar settings ---------------------------------------------------------------

enum class SettingKind { kTopDay, kSortKey, kSortDir, kCount };

struct Setting {
    const char* name;   // the registry value name
    const char* label;  // German, for show
    SettingKind kind;
    int count = -1;  // ObjectNumKind for kCount
};

const Setting kSettings[] = {
    {"TopDay", "Erster Tag der Woche", SettingKind::kTopDay},
    {"SortKey", "Dokument-Sortierschlüssel", SettingKind::kSortKey},
    {"SortDir", "Dokument-Sortierreihenfolge", SettingKind::kSortDir},
    {"EntrySection", "Maximale Anzahl von Abschnitten beim Hinzufügen", SettingKind::kCount,
     ObjectNumEntrySection},
    {"DocList", "Anzahl von Dokumenten für Detailansicht", SettingKind::kCount, ObjectNumDocList},
    {"DocThum", "Anzahl von Dokumenten für Piktogramm-Ansicht", SettingKind::kCount,
     ObjectNumDocThum},
    {"SecList", "Anzahl von Abschnitten für Detailansicht", SettingKind::kCount, ObjectNumSecList},
    {"SecThum", "Anzahl von Abschnitten für Piktogramm-Ansicht", SettingKind::kCount,
     ObjectNumSecThum},
};

const Setting* FindSetting(const std::string& name) {
    for (const Setting& setting : kSettings) {
        if (SameIgnoringCase(name, setting.name)) return &setting;
    }
    return nullptr;
}

LPCTSTR KeyOf(const Setting& setting) {
    return setting.kind == SettingKind::kCount ? kObjectNumKeyPath : kViewerKeyPath;
}
LPCTSTR ValueNameOf(const Setting& setting) {
    return setting.kind == SettingKind::kCount ? GetCountRule(setting.count)->lpszValueName
                                               : setting.name;
}

const char* TopDayWord(int day) {
    return day == kTopDaySunday ? "sonntag" : day == kTopDayMonday ? "montag" : nullptr;
}
const char* SortDirWord(int dir) {
    return dir == kSortDirAscending    ? "aufsteigend"
           : dir == kSortDirDescending ? "absteigend"
                                       : nullptr;
}

std::string SortKeyLabel(int index) {
    return std::string(LoadText(GetSortKeyLabelId(index)));
}

// The value a setting is stored as, from what an administrator typed; or the German
// reason it is refused.
struct Parsed {
    RegFileValue value;
    std::string error;
};

RegFileValue DwordValue(const char* name, DWORD number) {
    std::string bytes(4, '\0');
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<char>((number >> (8 * i)) & 0xFF);
    return {name, REG_DWORD, bytes};
}

RegFileValue StringValue(const char* name, const std::string& text) {
    return {name, REG_SZ, text + '\0'};
}

Parsed ParseSetting(const Setting& setting, const std::string& text) {
    Parsed parsed;
    switch (setting.kind) {
        case SettingKind::kTopDay:
            for (int day : {kTopDaySunday, kTopDayMonday}) {
                if (text == std::to_string(day) || SameIgnoringCase(text, TopDayWord(day))) {
                    parsed.value = DwordValue(setting.name, DWORD(day));
                    return parsed;
                }
            }
            parsed.error = "Erlaubt sind 1 oder sonntag, 2 oder montag.";
            return parsed;
        case SettingKind::kSortDir:
            for (int dir : {kSortDirAscending, kSortDirDescending}) {
                if (text == std::to_string(dir) || SameIgnoringCase(text, SortDirWord(dir))) {
                    parsed.value = DwordValue(setting.name, DWORD(dir));
                    return parsed;
                }
            }
            parsed.error = "Erlaubt sind 0 oder aufsteigend, 1 oder absteigend.";
            return parsed;
        case SettingKind::kSortKey:
            for (int index = 0; index < SortKeyCount; ++index) {
                if (text == std::to_string(index) ||
                    SameIgnoringCase(text, SortKeyLabel(index).c_str()) ||
                    SameIgnoringCase(text, GetSortKeyId(index))) {
                    parsed.value = StringValue(setting.name, GetSortKeyId(index));
                    return parsed;
                }
            }
            parsed.error =
                "Unbekannter Sortierschlüssel. Erlaubt sind 0 bis 7, die Namen aus "
                "der Liste des Dialogs oder ihre Kennungen (marrowick show).";
            return parsed;
        case SettingKind::kCount: {
            const CountRule& rule = *GetCountRule(setting.count);
            const std::optional<long long> number = ParseWholeNumber(text);
            if (!number) {
                parsed.error = std::string(LoadText(AFX_IDP_PARSE_INT));
            } else if (*number < rule.nLower || *number > rule.nUpper) {
                parsed.error = RangeMessage(rule.nLower, rule.nUpper);
            } else {
                parsed.value = DwordValue(rule.lpszValueName, DWORD(*number));
            }
            return parsed;
        }
    }
    return parsed;
}

// What the viewer reads for a setting: the stored value when it can read it, else the
// default.
struct Reading {
    bool stored = false;
    int number = 0;          // TopDay, SortDir, counts; SortKey: the index it reads as
    std::string identifier;  // SortKey
};

Reading ReadSetting(CViewerSettings& settings, const Setting& setting) {
    Reading reading;
    DWORD type = 0;
    std::string data;
    reading.stored = CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, KeyOf(setting),
                                              ValueNameOf(setting), type, data);
    switch (setting.kind) {
        case SettingKind::kTopDay:
            settings.GetTopDay(reading.number);
            reading.stored = reading.stored && data.size() == 4;
            break;
        case SettingKind::kSortDir:
            settings.GetSortDir(reading.number);
            reading.stored = reading.stored && data.size() == 4;
            break;
        case SettingKind::kSortKey:
            settings.GetSortKey(reading.number);
            reading.identifier = GetSortKeyId(reading.number);
            break;
        case SettingKind::kCount:
            settings.GetObjectNum(static_cast<ObjectNumKind>(setting.count), reading.number);
            reading.stored = reading.stored && data.size() == 4;
            break;
    }
    return reading;
}

// ---- Output ----------------------------------------------------------------------------

const char* const kDefaultMark = "  [Standardwert]";

std::string Win32Text(LONG code) {
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
        default:
            break;
    }
    std::string text = "Win32-Fehler " + std::to_string(code);
    if (meaning) text += std::string(" (") + meaning + ")";
    return text;
}

// How a value reads in a change report.
std::string DescribeValue(const RegFileValue& value) {
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<BYTE>(value.data[i]);
        return std::to_string(number);
    }
    if (value.type == REG_SZ && !value.data.empty() && value.data.back() == '\0' &&
        value.data.find('\0') == value.data.size() - 1) {
        return "\"" + value.data.substr(0, value.data.size() - 1) + "\"";
    }
    static const char digits[] = "0123456789abcdef";
    std::string text = "hex(" + std::to_string(value.type) + "):";
    for (std::size_t i = 0; i < value.data.size(); ++i) {
        if (i) text += ',';
        text += digits[static_cast<BYTE>(value.data[i]) >> 4];
        text += digits[static_cast<BYTE>(value.data[i]) & 0xF];
    }
    return text;
}

void JsonValue(JsonWriter& json, const RegFileValue& value) {
    if (value.type == REG_DWORD && value.data.size() == 4) {
        DWORD number = 0;
        for (int i = 3; i >= 0; --i) number = (number << 8) | static_cast<BYTE>(value.data[i]);
        json.Number(number);
    } else if (value.type == REG_SZ && !value.data.empty() && value.data.back() == '\0' &&
               value.data.find('\0') == value.data.size() - 1) {
        json.String(value.data.substr(0, value.data.size() - 1));
    } else {
        json.BeginObject();
        json.Key("type").Number(value.type);
        std::string hex;
        static const char digits[] = "0123456789abcdef";
        for (char c : value.data) {
            hex += digits[static_cast<BYTE>(c) >> 4];
            hex += digits[static_cast<BYTE>(c) & 0xF];
        }
        json.Key("hex").String(hex);
        json.EndObject();
    }
}

// The report every changing command gives: a line per change, or as JSON
// {"changed": bool, "changes": [...]}.
void ReportChanges(const std::vector<Change>& changes, bool json, bool dryRun, std::ostream& out) {
    if (json) {
        JsonWriter writer(out);
        writer.BeginObject();
        writer.Key("changed").Bool(!changes.empty() && !dryRun);
        if (dryRun) writer.Key("dry_run").Bool(true);
        writer.Key("changes").BeginArray();
        for (const Change& change : changes) {
            writer.BeginObject();
            writer.Key("action").String(change.kind == Change::kCreateKey   ? "create-key"
                                        : change.kind == Change::kDeleteKey ? "delete-key"
                                        : change.kind == Change::kSetValue  ? "set"
                                                                            : "delete");
            writer.Key("key").String("HKEY_LOCAL_MACHINE\\" + change.keyPath);
            if (change.kind == Change::kSetValue || change.kind == Change::kDeleteValue) {
                writer.Key("name").String(change.name);
                writer.Key("old");
                if (change.oldValue) {
                    JsonValue(writer, *change.oldValue);
                } else {
                    writer.Null();
                }
                writer.Key("new");
                if (change.kind == Change::kSetValue) {
                    JsonValue(writer, change.newValue);
                } else {
                    writer.Null();
                }
            }
            writer.EndObject();
        }
        writer.EndArray();
        writer.EndObject();
        out << '\n';
        return;
    }
    if (changes.empty()) {
        out << "Keine Änderung: alles ist bereits so gespeichert.\n";
        return;
    }
    const char* lead = dryRun ? "Würde " : "";
    for (const Change& change : changes) {
        const std::string key = "HKEY_LOCAL_MACHINE\\" + change.keyPath;
        switch (change.kind) {
            case Change::kCreateKey:
                out << lead << (dryRun ? "anlegen" : "Angelegt") << ": [" << key << "]\n";
                break;
            case Change::kDeleteKey:
                out << lead << (dryRun ? "löschen" : "Gelöscht") << ": [" << key << "]\n";
                break;
            case Change::kSetValue:
                out << lead << (dryRun ? "setzen" : "Gesetzt") << ": [" << key << "] "
                    << (change.name.empty() ? "@" : change.name) << " = "
                    << DescribeValue(change.newValue);
                if (change.oldValue) out << " (vorher " << DescribeValue(*change.oldValue) << ")";
                out << '\n';
                break;
            case Change::kDeleteValue:
                out << lead << (dryRun ? "löschen" : "Gelöscht") << ": [" << key << "] "
                    << (change.name.empty() ? "@" : change.name) << " (vorher "
                    << DescribeValue(*change.oldValue) << ")\n";
                break;
        }
    }
}

// ---- Commands ----------------------------------------------------------------------------

struct Options {
    bool json = false;
    bool dryRun = false;
    bool regedit4 = false;
    std::vector<std::string> words;  // the command and its operands
};

class Commands {
public:
    Commands(std::ostream& out, std::ostream& err) : out_(out), err_(err) {}

    int Show(const Options& options);
    int Set(const Options& options, const std::vector<std::string>& assignments);
    int Reset(const Options& options);
    int MimeList(const Options& options);
    int MimeAdd(const Options& options, const std::string& extension, const std::string& type);
    int MimeChange(const Options& options, const std::string& extension, const std::string& type);
    int MimeDelete(const Options& options, const std::string& extension);
    int Export(const Options& options, const std::string& file);
    int Import(const Options& options, const std::string& file);

private:
    // Fails with the registry's code when the registry cannot be read at all.
    bool Readable(int& exitCode);
    // Stores the changes in one transaction and reports them.
    int Store(const std::vector<Change>& changes, const Options& options, UINT failureMessage);

    std::ostream& out_;
    std::ostream& err_;
    CViewerSettings settings_;
};

bool Commands::Readable(int& exitCode) {
    const LONG status = CRegManager::CheckReadable(HKEY_LOCAL_MACHINE, kViewerKeyPath);
    if (status == ERROR_SUCCESS) return true;
    err_ << "Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status) << ".\n";
    exitCode = kExitRegistryError;
    return false;
}

int Commands::Store(const std::vector<Change>& changes, const Options& options,
                    UINT failureMessage) {
    if (!changes.empty()) {
        const LONG status = ApplyChanges(changes);
        if (status != ERROR_SUCCESS) {
            err_ << LoadText(failureMessage).GetString()
                 << " Nichts wurde geändert: " << Win32Text(status) << ".\n";
            return kExitRegistryError;
        }
    }
    ReportChanges(changes, options.json, false, out_);
    return kExitSuccess;
}

int Commands::Show(const Options& options) {
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    if (options.json) {
        JsonWriter json(out_);
        json.BeginObject();
        json.Key("settings").BeginObject();
        for (const Setting& setting : kSettings) {
            const Reading reading = ReadSetting(settings_, setting);
            json.Key(setting.name).BeginObject();
            if (setting.kind == SettingKind::kSortKey) {
                json.Key("value").String(reading.identifier);
                json.Key("index").Number(reading.number);
                json.Key("label").String(SortKeyLabel(reading.number));
            } else {
                json.Key("value").Number(reading.number);
            }
            json.Key("default").Bool(!reading.stored);
            json.EndObject();
        }
        json.EndObject();
        json.EndObject();
        out_ << '\n';
        return kExitSuccess;
    }
    for (const Setting& setting : kSettings) {
        const Reading reading = ReadSetting(settings_, setting);
        out_ << setting.label << " (" << setting.name << "): ";
        const char* word = nullptr;
        switch (setting.kind) {
            case SettingKind::kTopDay:
                word = TopDayWord(reading.number);
                break;
            case SettingKind::kSortDir:
                word = SortDirWord(reading.number);
                break;
            default:
                break;
        }
        if (setting.kind == SettingKind::kSortKey) {
            out_ << reading.number << " = " << SortKeyLabel(reading.number) << " ("
                 << reading.identifier << ")";
        } else {
            out_ << reading.number;
            if (word) out_ << " = " << word;
        }
        if (!reading.stored) out_ << kDefaultMark;
        out_ << '\n';
    }
    return kExitSuccess;
}

// The changes that store these values, leaving out those already stored exactly so.
std::vector<Change> ChangesToStore(
    const std::vector<std::pair<const Setting*, RegFileValue>>& values) {
    std::vector<Change> changes;
    for (const auto& [setting, value] : values) {
        Change change;
        change.kind = Change::kSetValue;
        change.keyPath = KeyOf(*setting);
        change.name = value.name;
        change.newValue = value;
        RegFileValue old{value.name, 0, {}};
        if (CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, KeyOf(*setting), value.name.c_str(),
                                     old.type, old.data)) {
            if (old.type == value.type && old.data == value.data) continue;
            change.oldValue = old;
        }
        changes.push_back(std::move(change));
    }
    return changes;
}

int Commands::Set(const Options& options, const std::vector<std::string>& assignments) {
    std::vector<std::pair<const Setting*, RegFileValue>> values;
    bool valid = true;
    for (const std::string& assignment : assignments) {
        const std::size_t equals = assignment.find('=');
        if (equals == std::string::npos) {
            err_ << "„" << assignment << "“: erwartet wird NAME=WERT.\n";
            valid = false;
            continue;
        }
        const std::string name = assignment.substr(0, equals);
        const Setting* setting = FindSetting(name);
        if (!setting) {
            err_ << name << ": unbekannte Einstellung. Bekannt sind TopDay, SortKey, SortDir, "
                 << "EntrySection, DocList, DocThum, SecList und SecThum.\n";
            valid = false;
            continue;
        }
        for (const auto& earlier : values) {
            if (earlier.first == setting) {
                err_ << setting->name << ": mehrfach angegeben.\n";
                valid = false;
            }
        }
        Parsed parsed = ParseSetting(*setting, assignment.substr(equals + 1));
        if (!parsed.error.empty()) {
            err_ << setting->name << ": " << parsed.error << '\n';
            valid = false;
            continue;
        }
        values.emplace_back(setting, std::move(parsed.value));
    }
    if (!valid) {
        err_ << "Nichts wurde gespeichert.\n";
        return kExitUsage;
    }
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    return Store(ChangesToStore(values), options, IDS_SAVE_FAILED);
}

int Commands::Reset(const Options& options) {
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    std::vector<std::pair<const Setting*, RegFileValue>> values;
    for (const Setting& setting : kSettings) {
        switch (setting.kind) {
            case SettingKind::kTopDay:
                values.emplace_back(&setting, DwordValue(setting.name, kFactoryTopDay));
                break;
            case SettingKind::kSortKey:
                values.emplace_back(&setting,
                                    StringValue(setting.name, GetSortKeyId(kFactorySortKey)));
                break;
            case SettingKind::kSortDir:
                values.emplace_back(&setting, DwordValue(setting.name, kFactorySortDir));
                break;
            case SettingKind::kCount: {
                const CountRule& rule = *GetCountRule(setting.count);
                values.emplace_back(&setting,
                                    DwordValue(rule.lpszValueName, DWORD(rule.nFactoryValue)));
                break;
            }
        }
    }
    return Store(ChangesToStore(values), options, IDS_SAVE_FAILED);
}

int Commands::MimeList(const Options& options) {
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    MimeEntryArray entries;
    settings_.GetMimeMap(entries);
    if (options.json) {
        JsonWriter json(out_);
        json.BeginObject();
        json.Key("mappings").BeginArray();
        for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
            json.BeginObject();
            json.Key("extension").String(entries[i].strExtension.GetString());
            json.Key("type").String(entries[i].strMimeType.GetString());
            json.EndObject();
        }
        json.EndArray();
        json.EndObject();
        out_ << '\n';
        return kExitSuccess;
    }
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        out_ << entries[i].strExtension.GetString() << '\t' << entries[i].strMimeType.GetString()
             << '\n';
    }
    return kExitSuccess;
}

// Extension and MIME type as the add dialog checks them.
bool CheckMimeInput(const std::string& extension, const std::string* type, std::ostream& err) {
    if (extension.empty()) {
        err << LoadText(IDS_NO_EXTENSION).GetString() << '\n';
        return false;
    }
    if (type && type->empty()) {
        err << LoadText(IDS_NO_MIMETYPE).GetString() << '\n';
        return false;
    }
    if ((extension + (type ? *type : "")).find_first_of("\r\n") != std::string::npos) {
        err << "Zeilenumbrüche sind in Erweiterungen und MIME-Typen nicht erlaubt.\n";
        return false;
    }
    return true;
}

// The stored mapping of an extension in any letter case, with the name as stored.
std::optional<RegFileValue> StoredMapping(const std::string& extension) {
    RegFileValue value{extension, 0, {}};
    if (!CRegManager::GetRegValue(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, extension.c_str(),
                                  value.type, value.data)) {
        return std::nullopt;
    }
    MimeEntryArray entries;
    CRegManager::EnumRegValues(HKEY_LOCAL_MACHINE, kMimeMapKeyPath, entries);
    for (INT_PTR i = 0; i < entries.GetSize(); ++i) {
        if (IsSameMimeExtension(entries[i].strExtension, extension.c_str())) {
            value.name = entries[i].strExtension.GetString();
        }
    }
    return value;
}

int Commands::MimeAdd(const Options& options, const std::string& extension,
                      const std::string& type) {
    if (!CheckMimeInput(extension, &type, err_)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    BOOL known = FALSE;
    if (settings_.IsMimeExtensionStored(extension.c_str(), &known) || !known) {
        if (!known) {
            err_ << extension << ": Ob diese Erweiterung schon definiert ist, lässt sich nicht "
                 << "feststellen; nichts wurde gespeichert.\n";
            return kExitRegistryError;
        }
        err_ << extension << ": " << LoadText(IDS_DUPLICATE_EXTENSION).GetString() << '\n';
        return kExitUsage;
    }
    Change change;
    change.kind = Change::kSetValue;
    change.keyPath = kMimeMapKeyPath;
    change.name = extension;
    change.newValue = StringValue(extension.c_str(), type);
    return Store({change}, options, IDS_MIME_SAVE_FAILED);
}

int Commands::MimeChange(const Options& options, const std::string& extension,
                         const std::string& type) {
    if (!CheckMimeInput(extension, nullptr, err_)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    const std::optional<RegFileValue> stored = StoredMapping(extension);
    if (!stored) {
        err_ << extension << ": Diese Erweiterung wurde nicht definiert.\n";
        return kExitUsage;
    }
    std::vector<Change> changes;
    const RegFileValue wanted = StringValue(stored->name.c_str(), type);
    if (stored->type != wanted.type || stored->data != wanted.data) {
        Change change;
        change.kind = Change::kSetValue;
        change.keyPath = kMimeMapKeyPath;
        change.name = stored->name;
        change.oldValue = stored;
        change.newValue = wanted;
        changes.push_back(std::move(change));
    }
    return Store(changes, options, IDS_MIME_SAVE_FAILED);
}

int Commands::MimeDelete(const Options& options, const std::string& extension) {
    if (!CheckMimeInput(extension, nullptr, err_)) return kExitUsage;
    int exitCode = kExitSuccess;
    if (!Readable(exitCode)) return exitCode;
    std::vector<Change> changes;
    if (const std::optional<RegFileValue> stored = StoredMapping(extension)) {
        Change change;
        change.kind = Change::kDeleteValue;
        change.keyPath = kMimeMapKeyPath;
        change.name = stored->name;
        change.oldValue = stored;
        changes.push_back(std::move(change));
    }
    return Store(changes, options, IDS_MIME_SAVE_FAILED);
}

int Commands::Export(const Options& options, const std::string& file) {
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        err_ << "Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status) << ".\n";
        return kExitRegistryError;
    }
    bool windows1252 = true;
    const std::string bytes = platform::WriteRegFile(
        keys, options.regedit4 ? RegFileFormat::kRegedit4 : RegFileFormat::kVersion5, &windows1252);
    if (options.regedit4 && !windows1252) {
        err_ << "Hinweis: Nicht jedes Zeichen hat einen Platz in Windows-1252; die Datei ist in "
                "UTF-8 geschrieben.\n";
    }
    if (file.empty() || file == "-") {
        out_.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out_.flush();
        return out_ ? kExitSuccess : kExitFileError;
    }
    if (!WriteFileReplacing(file, bytes)) {
        err_ << file << ": Die Datei konnte nicht geschrieben werden.\n";
        return kExitFileError;
    }
    return kExitSuccess;
}

int Commands::Import(const Options& options, const std::string& file) {
    std::string bytes;
    if (!ReadWholeFile(file, bytes)) {
        err_ << file << ": Die Datei konnte nicht gelesen werden.\n";
        return kExitFileError;
    }
    const platform::RegFileContents contents = platform::ReadRegFile(bytes);
    switch (contents.failure) {
        case platform::RegFileContents::kNone:
            break;
        case platform::RegFileContents::kEncoding:
            err_ << file << ": Die Datei ist kein gültiger UTF-16-Text.\n";
            return kExitUsage;
        case platform::RegFileContents::kHeader:
            err_ << file << ", Zeile 1: Erwartet wird „Windows Registry Editor Version 5.00“ "
                 << "oder „REGEDIT4“.\n";
            return kExitUsage;
        case platform::RegFileContents::kSyntax:
            err_ << file << ", Zeile " << contents.failedLine
                 << ": Diese Zeile ist keine gültige .reg-Anweisung.\n";
            return kExitUsage;
    }
    std::string problem;
    std::size_t problemLine = 0;
    if (!CheckImport(contents.entries, problem, problemLine)) {
        err_ << file << ", Zeile " << problemLine << ": " << problem
             << " Die Datei wurde nicht importiert.\n";
        return kExitUsage;
    }
    std::vector<platform::RegFileKey> keys;
    if (const LONG status = ReadViewerTree(keys); status != ERROR_SUCCESS) {
        err_ << "Die Einstellungen konnten nicht gelesen werden: " << Win32Text(status) << ".\n";
        return kExitRegistryError;
    }
    const std::vector<Change> changes = ChangesOfImport(keys, contents.entries);
    if (options.dryRun) {
        ReportChanges(changes, options.json, true, out_);
        return kExitSuccess;
    }
    return Store(changes, options, IDS_SAVE_FAILED);
}

// ---- Arguments ---------------------------------------------------------------------------

const char kHelp[] =
    "Aufruf: marrowick [BEFEHL [ARGUMENTE]]\n"
    "\n"
    "Ohne Befehl öffnet marrowick den Einstellungsdialog. Mit einem Befehl arbeitet es ohne\n"
    "Bildschirm auf denselben Einstellungen, mit denselben Regeln wie der Dialog.\n"
    "\n"
    "Befehle:\n"
    "  show [--json]               jede Einstellung: gespeicherter Wert oder der Standardwert,\n"
    "                              als der sie gelesen wird ([Standardwert])\n"
    "  set NAME=WERT...            alle Angaben prüfen, dann alle in einem Schritt speichern\n"
    "  reset                       die Werkseinstellungen speichern (wie „Standardwerte\n"
    "                              wiederherstellen“ und danach OK im Dialog)\n"
    "  mime list [--json]          die Zuordnungen von Erweiterungen zu MIME-Typen\n"
    "  mime add ERW TYP            neue Zuordnung; abgelehnt, wenn ERW in irgendeiner\n"
    "                              Groß-/Kleinschreibung schon gespeichert ist\n"
    "  mime change ERW TYP         nur eine bestehende Zuordnung ändern\n"
    "  mime delete ERW             eine Zuordnung löschen\n"
    "  export [DATEI] [--regedit4] die Schlüssel des Betrachters als .reg-Datei (ohne DATEI\n"
    "                              oder mit - auf die Standardausgabe); Format wie der\n"
    "                              Registrierungs-Editor von Windows: „Windows Registry Editor\n"
    "                              Version 5.00“, UTF-16LE mit BOM und CRLF; --regedit4 für\n"
    "                              REGEDIT4 in Windows-1252\n"
    "  import DATEI [--dry-run]    eine .reg-Datei prüfen und in einem Schritt übernehmen;\n"
    "                              --dry-run zeigt die Änderungen und schreibt nichts\n"
    "  --no-ask-password           nicht nach dem Administratorpasswort fragen: Was ein\n"
    "                              gewöhnlicher Benutzer nicht selbst speichern darf, wird\n"
    "                              dann abgelehnt, statt über den Einstellungsdienst zu gehen\n"
    "  --help                      diese Hilfe\n"
    "  --version                   die Version\n"
    "\n"
    "set und reset, mime add, change und delete und import nehmen auch --json.\n"
    "\n"
    "NAME und WERT (NAME in beliebiger Groß-/Kleinschreibung):\n"
    "  TopDay        1 oder sonntag, 2 oder montag\n"
    "  SortKey       0 bis 7, die Bezeichnung aus der Liste des Dialogs oder ihre Kennung:\n"
    "                0 Dokumentname, 1 Dokument-Nr., 2 Hinzugefügt, 3 Geändert,\n"
    "                4 Ablaufdatum, 5 Größe, 6 Anzahl von Abschnitten, 7 Arbeitsstatus\n"
    "  SortDir       0 oder aufsteigend, 1 oder absteigend\n"
    "  EntrySection  ganze Zahl von 5 bis 99\n"
    "  DocList, DocThum, SecList, SecThum\n"
    "                ganze Zahl von 10 bis 100\n"
    "Ungültige Angaben werden mit den Meldungen des Dialogs abgelehnt; dann wird nichts\n"
    "gespeichert.\n"
    "\n"
    "Import: Nur HKEY_LOCAL_MACHINE\\SOFTWARE\\Tavik\\Brisvandale\\Pallisander und was darunter\n"
    "liegt darf vorkommen (auch als HKLM, in beliebiger Schreibweise); eine Datei, die etwas\n"
    "anderes nennt, wird ganz abgelehnt. Die Werte, die der Dialog kennt, werden wie im\n"
    "Dialog geprüft (Typ und Bereich; SortKey eine der acht Kennungen); andere Werte werden\n"
    "übernommen, wie sie sind. Verstanden werden [-Schlüssel], \"Name\"=-, @=, dword:, hex:,\n"
    "hex(N): und Fortsetzungszeilen; UTF-16LE mit BOM, sonst UTF-8, wenn gültig, sonst\n"
    "Windows-1252.\n"
    "\n"
    "Ausgabe: Ergebnisse auf der Standardausgabe, Meldungen auf der Standardfehlerausgabe.\n"
    "Jeder ändernde Befehl nennt jede Änderung; was schon so gespeichert ist, wird nicht noch\n"
    "einmal geschrieben (die Registrierungsdatei bleibt dann unberührt).\n"
    "\n"
    "JSON (--json), ein Objekt auf einer Zeile:\n"
    "  show:      {\"settings\": {NAME: {\"value\": ZAHL, \"default\": BOOL}, ...}}; bei\n"
    "             SortKey ist \"value\" die Kennung, dazu \"index\" und \"label\";\n"
    "             \"default\": true, wenn nichts (Lesbares) gespeichert ist\n"
    "  mime list: {\"mappings\": [{\"extension\": TEXT, \"type\": TEXT}, ...]}\n"
    "  Änderungen: {\"changed\": BOOL, \"changes\": [{\"action\": \"set\"|\"delete\"|\n"
    "             \"create-key\"|\"delete-key\", \"key\": SCHLÜSSEL, \"name\": NAME,\n"
    "             \"old\": WERT|null, \"new\": WERT|null}, ...]}; import --dry-run fügt\n"
    "             \"dry_run\": true hinzu und meldet \"changed\": false. Ein WERT ist eine\n"
    "             Zahl (REG_DWORD), ein Text (REG_SZ) oder {\"type\": N, \"hex\": BYTES}.\n"
    "\n"
    "Exit-Status:\n"
    "  0  Erfolg, auch wenn nichts geändert werden musste\n"
    "  1  die Registrierung hat abgelehnt (die Meldung nennt den Win32-Fehlercode, z. B. 5\n"
    "     für Zugriff verweigert); nichts wurde geändert\n"
    "  2  falscher Aufruf oder ungültige Angaben; nichts wurde geändert\n"
    "  3  eine Datei konnte nicht gelesen oder geschrieben werden\n"
    "\n"
    "Die Registrierung liegt in /var/lib/marrowick/HKLM.reg oder in der Datei, die die\n"
    "Umgebungsvariable MARROWICK_HKLM nennt.\n";

int Usage(std::ostream& err, const std::string& problem) {
    err << problem << "\nHilfe: marrowick --help\n";
    return kExitUsage;
}

}  // namespace

int RunCommandLine(const std::vector<std::string>& arguments, std::ostream& out,
                   std::ostream& err) {
    // The texts shared with the dialogs come from the program's string table.
    AfxSetStringLookup(&res::FindString);
    Options options;
    bool askPassword = true;
    bool endOfOptions = false;
    for (const std::string& argument : arguments) {
        if (endOfOptions || argument.size() < 2 || !argument.starts_with("--")) {
            options.words.push_back(argument);
        } else if (argument == "--") {
            endOfOptions = true;
        } else if (argument == "--json") {
            options.json = true;
        } else if (argument == "--dry-run") {
            options.dryRun = true;
        } else if (argument == "--regedit4") {
            options.regedit4 = true;
        } else if (argument == "--no-ask-password") {
            askPassword = false;
        } else if (argument == "--help") {
            out << kHelp;
            return kExitSuccess;
        } else if (argument == "--version") {
            out << "marrowick " << kVersion << '\n';
            return kExitSuccess;
        } else {
            return Usage(err, "Unbekannte Option „" + argument + "“.");
        }
    }
    if (options.words.empty()) return Usage(err, "Es fehlt ein Befehl.");
    // What an ordinary user may not write to the machine's hive goes to the settings
    // service; on a terminal a text agent asks for the administrator's password.
    service::ForwardChangeSetsToService(
        {.askPassword = askPassword, .textAgent = askPassword && ::isatty(STDIN_FILENO) == 1});
    const std::string& command = options.words[0];
    const std::vector<std::string> operands(options.words.begin() + 1, options.words.end());
    const std::size_t count = operands.size();

    // Each command takes only the options that mean something to it.
    const auto accepts = [&](bool json, bool dryRun, bool regedit4) {
        return (json || !options.json) && (dryRun || !options.dryRun) &&
               (regedit4 || !options.regedit4);
    };
    const auto wrongUse = [&](const std::string& form) {
        return Usage(err, "Aufruf: marrowick " + form);
    };

    Commands commands(out, err);
    if (command == "show") {
        if (count != 0 || !accepts(true, false, false)) return wrongUse("show [--json]");
        return commands.Show(options);
    }
    if (command == "set") {
        if (count == 0 || !accepts(true, false, false)) {
            return wrongUse("set NAME=WERT... [--json]");
        }
        return commands.Set(options, operands);
    }
    if (command == "reset") {
        if (count != 0 || !accepts(true, false, false)) return wrongUse("reset [--json]");
        return commands.Reset(options);
    }
    if (command == "export") {
        if (count > 1 || !accepts(false, false, true)) {
            return wrongUse("export [DATEI] [--regedit4]");
        }
        return commands.Export(options, count ? operands[0] : std::string());
    }
    if (command == "import") {
        if (count != 1 || !accepts(true, true, false)) {
            return wrongUse("import DATEI [--dry-run] [--json]");
        }
        return commands.Import(options, operands[0]);
    }
    if (command == "mime") {
        const std::string sub = count ? operands[0] : std::string();
        if (sub == "list" && count == 1 && accepts(true, false, false)) {
            return commands.MimeList(options);
        }
        if (sub == "add" && count == 3 && accepts(true, false, false)) {
            return commands.MimeAdd(options, operands[1], operands[2]);
        }
        if (sub == "change" && count == 3 && accepts(true, false, false)) {
            return commands.MimeChange(options, operands[1], operands[2]);
        }
        if (sub == "delete" && count == 2 && accepts(true, false, false)) {
            return commands.MimeDelete(options, operands[1]);
        }
        return wrongUse(
            "mime list [--json] | mime add ERW TYP | mime change ERW TYP | mime delete ERW");
    }
    return Usage(err, "Unbekannter Befehl „" + command + "“.");
}

int RunCommandLine(int argc, char* argv[]) {
    std::ios::sync_with_stdio(false);
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    const int status = RunCommandLine(arguments, std::cout, std::cerr);
    std::cout.flush();
    return std::cout ? status : kExitFileError;
}

}  // namespace marrowick::cli
