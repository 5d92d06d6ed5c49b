// log: who changed what, from the journal's entries; and the table of log and watch
// (WatchCommand.cpp).
#include "stdafx.h"

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <iostream>
#include <optional>
#include <ostream>

#include "ChangeJournalReader.h"
#include "Commands.h"
#include "Json.h"
#include "MimeRule.h"
#include "ValueFormat.h"

namespace marrowick::cli {

namespace {

using journal::ChangeSetEntry;
using journal::Face;

}  // namespace

std::uint64_t NowUsec() {
    return static_cast<std::uint64_t>(std::chrono::duration_cast<std::chrono::microseconds>(
                                          std::chrono::system_clock::now().time_since_epoch())
                                          .count());
}

namespace {

// The whole seconds of a time in µs, in UTC or local time, as `format` spells them.
std::string SecondsText(std::uint64_t usec, bool utc, const char* format) {
    const std::time_t seconds = static_cast<std::time_t>(usec / 1000000);
    std::tm parts{};
    if (utc) {
        gmtime_r(&seconds, &parts);
    } else {
        localtime_r(&seconds, &parts);
    }
    char text[32];
    std::strftime(text, sizeof text, format, &parts);
    return text;
}

// 2026-12-09 03:51:03, in local time.
std::string LocalText(std::uint64_t usec) {
    return SecondsText(usec, false, "%Y-%m-%d %H:%M:%S");
}

}  // namespace

// 2026-12-09T02:51:03.123456Z
std::string UtcText(std::uint64_t usec) {
    char fraction[16];
    std::snprintf(fraction, sizeof fraction, ".%06uZ", static_cast<unsigned>(usec % 1000000));
    return SecondsText(usec, true, "%Y-%m-%dT%H:%M:%S") + fraction;
}

namespace {

bool ReadWhole(std::string_view text, int& number) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

}  // namespace

// --since: JJJJ-MM-TT[ HH:MM[:SS]] or with T, HH:MM[:SS] (today), heute/today,
// gestern/yesterday, @SEKUNDEN, or -N followed by s, min, h or d (ago). Local time.
std::optional<std::uint64_t> SinceUsec(const std::string& text, std::uint64_t nowUsec) {
    const std::time_t nowSeconds = static_cast<std::time_t>(nowUsec / 1000000);
    std::tm local{};
    localtime_r(&nowSeconds, &local);
    const auto midnight = [&](int daysBack) {
        std::tm day = local;
        day.tm_hour = day.tm_min = day.tm_sec = 0;
        day.tm_mday -= daysBack;
        day.tm_isdst = -1;
        return static_cast<std::uint64_t>(std::mktime(&day)) * 1000000;
    };
    if (text == "heute" || text == "today") return midnight(0);
    if (text == "gestern" || text == "yesterday") return midnight(1);
    if (text.starts_with('@')) {
        int seconds = 0;
        if (!ReadWhole(std::string_view(text).substr(1), seconds) || seconds < 0) return {};
        return static_cast<std::uint64_t>(seconds) * 1000000;
    }
    if (text.starts_with('-')) {
        static constexpr std::pair<const char*, std::uint64_t> kUnits[] = {
            {"min", 60}, {"s", 1}, {"h", 3600}, {"d", 86400}};
        for (const auto& [unit, seconds] : kUnits) {
            if (!text.ends_with(unit)) continue;
            int count = 0;
            const std::string_view digits =
                std::string_view(text).substr(1, text.size() - 1 - std::strlen(unit));
            if (!ReadWhole(digits, count) || count < 0) return {};
            const std::uint64_t back = static_cast<std::uint64_t>(count) * seconds * 1000000;
            return back > nowUsec ? 0 : nowUsec - back;
        }
        return {};
    }
    std::tm when = local;
    when.tm_hour = when.tm_min = when.tm_sec = 0;
    std::string_view rest = text;
    // The date, when given.
    if (rest.size() >= 10 && rest[4] == '-' && rest[7] == '-') {
        int year = 0, month = 0, day = 0;
        if (!ReadWhole(rest.substr(0, 4), year) || !ReadWhole(rest.substr(5, 2), month) ||
            !ReadWhole(rest.substr(8, 2), day) || month < 1 || month > 12 || day < 1 || day > 31) {
            return {};
        }
        when.tm_year = year - 1900;
        when.tm_mon = month - 1;
        when.tm_mday = day;
        rest.remove_prefix(10);
        if (rest.empty()) {
            when.tm_isdst = -1;
            return static_cast<std::uint64_t>(std::mktime(&when)) * 1000000;
        }
        if (rest[0] != ' ' && rest[0] != 'T') return {};
        rest.remove_prefix(1);
    }
    // HH:MM or HH:MM:SS.
    if (rest.size() != 5 && rest.size() != 8) return {};
    int hour = 0, minute = 0, second = 0;
    if (rest[2] != ':' || !ReadWhole(rest.substr(0, 2), hour) ||
        !ReadWhole(rest.substr(3, 2), minute) || hour > 23 || minute > 59) {
        return {};
    }
    if (rest.size() == 8 &&
        (rest[5] != ':' || !ReadWhole(rest.substr(6, 2), second) || second > 59)) {
        return {};
    }
    when.tm_hour = hour;
    when.tm_min = minute;
    when.tm_sec = second;
    when.tm_isdst = -1;
    const std::time_t seconds = std::mktime(&when);
    if (seconds < 0) return {};
    return static_cast<std::uint64_t>(seconds) * 1000000;
}

namespace {

const char* ThroughText(Face face) {
    switch (face) {
        case Face::kDialog:
            return "über den Dialog";
        case Face::kCommandLine:
            return "über die Befehlszeile";
        case Face::kImport:
            return "über einen Import";
        case Face::kService:
            return "über den Einstellungsdienst";
    }
    return "";
}

void PrintEntry(const ChangeSetEntry& entry, std::ostream& out) {
    std::string text = LocalText(entry.realtimeUsec) + "  ";
    const journal::Author& author = entry.author;
    if (!author.user.empty()) text += author.user + " ";
    text += "(UID " + std::to_string(author.uid) + ") ";
    text += ThroughText(author.face);
    if (author.face == Face::kService && !author.process.empty()) {
        text += " (Aufrufer " + author.process + ", PID " + std::to_string(author.pid) + ")";
    }
    text += '\n';
    for (const Change& change : entry.changes) text += "  " + ChangeLine(change) + '\n';
    if (entry.changeCount > entry.changes.size()) {
        text += "  … und " + std::to_string(entry.changeCount - entry.changes.size()) +
                " weitere Änderungen\n";
    }
    out << text;
}

void EntryJson(JsonWriter& json, const ChangeSetEntry& entry) {
    const journal::Author& author = entry.author;
    json.BeginObject();
    json.Key("time").String(UtcText(entry.realtimeUsec));
    json.Key("uid").Number(author.uid);
    if (!author.user.empty()) json.Key("user").String(author.user);
    json.Key("face").String(journal::FaceName(author.face));
    if (author.face == Face::kService) {
        if (!author.process.empty()) json.Key("process").String(author.process);
        if (author.pid > 0) json.Key("pid").Number(author.pid);
    }
    json.Key("change_count").Number(static_cast<std::int64_t>(entry.changeCount));
    json.Key("changes").BeginArray();
    for (const Change& change : entry.changes) ChangeJson(json, change);
    json.EndArray();
    json.EndObject();
}

int Log(const Invocation& call) {
    std::uint64_t since = 0;
    if (call.options.since) {
        const std::optional<std::uint64_t> parsed = SinceUsec(call.options.sinceTime, NowUsec());
        if (!parsed) {
            call.err << "Die Zeit " << Quoted(call.options.sinceTime)
                     << " ist ungültig (erlaubt: JJJJ-MM-TT [HH:MM[:SS]], HH:MM[:SS], heute, "
                        "gestern, @SEKUNDEN, -N s|min|h|d).\n";
            return kExitUsage;
        }
        since = std::max<std::uint64_t>(*parsed, 1);
    }
    std::vector<ChangeSetEntry> entries;
    if (const int r = journal::ReadChangeSetEntries(since, entries); r < 0) {
        call.err << "Das Journal konnte nicht gelesen werden: " << std::strerror(-r) << ".\n";
        return kExitFileError;
    }
    if (call.options.json) {
        JsonWriter json(call.out);
        BeginOutput(json);
        json.Key("entries").BeginArray();
        for (const ChangeSetEntry& entry : entries) EntryJson(json, entry);
        json.EndArray();
        json.EndObject();
        call.out << '\n';
        return kExitSuccess;
    }
    if (entries.empty()) {
        call.out << "Keine Einträge: Im Journal ist keine Änderung der Einstellungen zu sehen.\n";
    }
    for (const ChangeSetEntry& entry : entries) PrintEntry(entry, call.out);
    return kExitSuccess;
}

}  // namespace

const std::vector<Command>& JournalCommands() {
    static const std::vector<Command> commands = {
        {"log",
         0,
         0,
         {.json = true, .since = true},
         "log [--since ZEIT] [--json]",
         "wer wann was an den Einstellungen geändert hat, aus dem\n"
         "Journal, das Älteste zuerst: je gespeicherter Änderung der\n"
         "Benutzer, der Weg (Dialog, Befehlszeile, Import, Dienst) und\n"
         "jeder Wert vorher → nachher",
         Log},
        {"watch",
         0,
         0,
         {.json = true},
         "watch [--json]",
         "jede Änderung der gespeicherten Einstellungen und Zuordnungen\n"
         "zeigen, sobald sie geschieht, gleich wer sie macht, bis Strg+C",
         Watch},
    };
    return commands;
}

}  // namespace marrowick::cli
