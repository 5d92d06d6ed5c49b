// One entry in the system's journal for each change set stored to the machine's hive: who
// asked, through which face, and per change the key, the value's name, the old and the new
// value, spelled as `show` and `export` spell them. The catalog
// (/usr/lib/systemd/catalog/marrowick.catalog) explains the entry in German and English.
// Where no journal runs, nothing is written and storing goes on as before. Include after
// stdafx.h.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>
#include <vector>

#include "ChangeSet.h"

namespace marrowick::journal {

// The entries' MESSAGE_ID; the catalog and `marrowick log` find them by it.
inline constexpr const char kChangeSetMessageId[] = "27de644ec3e8448aba214ad486883872";

// Through which face a change set came: the program's own writers name theirs; the
// settings service stores what its callers send.
enum class Face { kDialog, kCommandLine, kImport, kService };

// "dialog", "command-line", "import", "service"; and back (false: no such name).
const char* FaceName(Face face);
bool FaceOfName(const std::string& name, Face& face);

// Who asked for a change set.
struct Author {
    uid_t uid = 0;
    std::string user;  // the account's name; empty when the uid has none
    Face face = Face::kCommandLine;
    // kService: the caller's process (its name and id), as the bus tells it.
    std::string process;
    pid_t pid = 0;
};

// This process's user (its real uid: who started it, also when it runs set-uid) with `face`.
Author ThisProcessAs(Face face);

// An entry lists at most this many changes one by one: journald takes no entry of more than
// 1024 fields. MARROWICK_CHANGES counts them all.
inline constexpr std::size_t kMaxListedChanges = 150;

// The entry's fields, each "NAME=value": MESSAGE_ID, MESSAGE (German, a line per change),
// PRIORITY, MARROWICK_UID, MARROWICK_USER, MARROWICK_FACE, MARROWICK_PROCESS and
// MARROWICK_PID (service only), MARROWICK_CHANGES (the count), and per listed change i
// (from 1) MARROWICK_ACTION_i, MARROWICK_KEY_i, and for a value MARROWICK_NAME_i,
// MARROWICK_OLD_i (when there was one) and MARROWICK_NEW_i (when one was set).
std::vector<std::string> ChangeSetEntryFields(const std::vector<Change>& changed,
                                              const Author& author);

// Writes the entry for a change set stored to the machine's hive (MARROWICK_HKLM unset: a
// private hive is its owner's business, and a test's). Returns whether it was sent; a
// missing journal, or a libsystemd that cannot be loaded, is no error of the save.
bool WriteChangeSetEntry(const std::vector<Change>& changed, const Author& author);

// From now on every change set this process stores itself is entered as stored through
// `face` by this process's user.
void RecordStoredChangeSetsAs(Face face);

}  // namespace marrowick::journal
