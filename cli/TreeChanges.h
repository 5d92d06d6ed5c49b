// What turned one reading of the viewer's key tree into the next, for `watch`: the same
// changes a change set reports, each with its old value.
#pragma once

#include <reg_file.h>

#include <vector>

#include "ChangeSet.h"

namespace marrowick::cli {

// Keys and values compare by name as the registry does (ignoring letter case); a value
// whose name, type or data differ is set. Created keys come parents first, each followed by
// its values; a deleted key's values come before it, children before parents.
std::vector<Change> ChangesBetween(const std::vector<platform::RegFileKey>& before,
                                   const std::vector<platform::RegFileKey>& after);

}  // namespace marrowick::cli
