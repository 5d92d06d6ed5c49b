#include "stdafx.h"

#include "ChangeJournalReader.h"

#include <systemd/sd-journal.h>

#include <charconv>
#include <string_view>

#include "ValueFormat.h"

namespace marrowick::journal {

namespace {

const std::string* Find(const std::map<std::string, std::string>& fields, const std::string& name) {
    const auto found = fields.find(name);
    return found == fields.end() ? nullptr : &found->second;
}

template <typename Number>
bool ReadNumber(const std::string* text, Number& number) {
    if (!text || text->empty()) return false;
    const auto [end, error] = std::from_chars(text->data(), text->data() + text->size(), number);
    return error == std::errc() && end == text->data() + text->size();
}

std::string Indexed(const char* name, std::size_t index) {
    return std::string("MARROWICK_") + name + "_" + std::to_string(index);
}

}  // namespace

std::optional<ChangeSetEntry> EntryOfFields(const std::map<std::string, std::string>& fields) {
    ChangeSetEntry entry;
    const std::string* face = Find(fields, "MARROWICK_FACE");
    if (!face || !FaceOfName(*face, entry.author.face)) return std::nullopt;
    if (!ReadNumber(Find(fields, "MARROWICK_UID"), entry.author.uid)) return std::nullopt;
    if (!ReadNumber(Find(fields, "MARROWICK_CHANGES"), entry.changeCount)) return std::nullopt;
    if (const std::string* user = Find(fields, "MARROWICK_USER")) entry.author.user = *user;
    if (const std::string* process = Find(fields, "MARROWICK_PROCESS")) {
        entry.author.process = *process;
    }
    ReadNumber(Find(fields, "MARROWICK_PID"), entry.author.pid);
    for (std::size_t i = 1; i <= entry.changeCount && i <= kMaxListedChanges; ++i) {
        const std::string* action = Find(fields, Indexed("ACTION", i));
        const std::string* key = Find(fields, Indexed("KEY", i));
        static const std::string_view root = "HKEY_LOCAL_MACHINE\\";
        if (!action || !key || !key->starts_with(root)) return std::nullopt;
        const std::optional<Change::Kind> kind = cli::ChangeKindOfWord(*action);
        if (!kind) return std::nullopt;
        Change change;
        change.kind = *kind;
        change.keyPath = key->substr(root.size());
        if (*kind == Change::kSetValue || *kind == Change::kDeleteValue) {
            const std::string* name = Find(fields, Indexed("NAME", i));
            if (!name) return std::nullopt;
            change.name = *name;
            if (const std::string* old = Find(fields, Indexed("OLD", i))) {
                std::optional<platform::RegFileValue> value = cli::ValueOfText(*old);
                if (!value) return std::nullopt;
                change.oldValue = std::move(*value);
            }
            if (*kind == Change::kSetValue) {
                const std::string* now = Find(fields, Indexed("NEW", i));
                std::optional<platform::RegFileValue> value =
                    now ? cli::ValueOfText(*now) : std::nullopt;
                if (!value) return std::nullopt;
                change.newValue = std::move(*value);
            }
        }
        entry.changes.push_back(std::move(change));
    }
    return entry;
}

int ReadChangeSetEntries(std::uint64_t sinceUsec, std::vector<ChangeSetEntry>& entries) {
    entries.clear();
    sd_journal* journal = nullptr;
    int r = sd_journal_open(&journal, SD_JOURNAL_LOCAL_ONLY);
    if (r < 0) return r;
    const std::string match = std::string("MESSAGE_ID=") + kChangeSetMessageId;
    r = sd_journal_add_match(journal, match.data(), match.size());
    if (r >= 0) r = sd_journal_add_match(journal, "_UID=0", 0);
    if (r >= 0) r = sd_journal_set_data_threshold(journal, 0);  // values may be long
    if (r >= 0) {
        r = sinceUsec ? sd_journal_seek_realtime_usec(journal, sinceUsec)
                      : sd_journal_seek_head(journal);
    }
    while (r >= 0 && sd_journal_next(journal) > 0) {
        std::map<std::string, std::string> fields;
        const void* data = nullptr;
        std::size_t length = 0;
        sd_journal_restart_data(journal);
        while (sd_journal_enumerate_data(journal, &data, &length) > 0) {
            const std::string_view field(static_cast<const char*>(data), length);
            const std::size_t equals = field.find('=');
            if (!field.starts_with("MARROWICK_") || equals == std::string_view::npos) continue;
            fields.emplace(field.substr(0, equals), field.substr(equals + 1));
        }
        std::optional<ChangeSetEntry> entry = EntryOfFields(fields);
        if (!entry) continue;
        std::uint64_t usec = 0;
        if (sd_journal_get_realtime_usec(journal, &usec) < 0) continue;
        // Seeking lands near the time; entries just before it are not asked for.
        if (usec < sinceUsec) continue;
        entry->realtimeUsec = usec;
        entries.push_back(std::move(*entry));
    }
    sd_journal_close(journal);
    return r < 0 ? r : 0;
}

}  // namespace marrowick::journal
