// The journal's entries of stored change sets read back, for `marrowick log`. Include after
// stdafx.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "ChangeJournal.h"

namespace marrowick::journal {

struct ChangeSetEntry {
    std::uint64_t realtimeUsec = 0;  // when it was entered, µs since the epoch
    Author author;
    std::size_t changeCount = 0;  // all of them; `changes` lists at most kMaxListedChanges
    std::vector<Change> changes;
};

// An entry from its MARROWICK_* fields (name → value), as ChangeSetEntryFields wrote them;
// nothing when they do not make one.
std::optional<ChangeSetEntry> EntryOfFields(const std::map<std::string, std::string>& fields);

// The entries in this machine's journal, oldest first, from `sinceUsec` on (0: all). Only
// entries sent by root count: only root stores the machine's hive, and anybody may send
// an entry with any MESSAGE_ID. Returns 0, or the negative errno of opening the journal.
int ReadChangeSetEntries(std::uint64_t sinceUsec, std::vector<ChangeSetEntry>& entries);

}  // namespace marrowick::journal
