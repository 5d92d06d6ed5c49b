// What an import changes: the difference between the viewer's stored tree and the tree its
// statements make, as a change set for the one change path. Include after stdafx.h.
#pragma once

#include <reg_file.h>

#include <vector>

#include "ChangeSet.h"

// What applying the file's statements to the current tree would change, leaving out
// whatever is already stored so: keys deleted (only the topmost of a deleted subtree),
// keys created, values set and deleted. The statements' values move into the changes.
std::vector<Change> ChangesOfImport(const std::vector<marrowick::platform::RegFileKey>& current,
                                    std::vector<marrowick::platform::RegFileEntry>&& entries);
