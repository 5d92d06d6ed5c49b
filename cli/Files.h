// Reading and writing the files an administrator names, safely also in directories that
// others may write to.
#pragma once

#include <string>

namespace marrowick::cli {

// The whole content of a regular file. Refuses symbolic links and anything that is not a
// regular file (a FIFO would block), and files beyond 256 MiB.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file with an export of the registry in one step (see replace_file.h). It
// holds what the hive holds, so it gets no wider rights than the hive: at most 0644, and
// the hive's group. A symbolic link at the path is replaced, never followed.
bool WriteFileReplacing(const std::string& path, const std::string& bytes);

// Whether replacing the file at the path would replace the hive: the hive itself, under
// any name, or a symbolic link on the way to it.
bool IsTheHive(const std::string& path);

}  // namespace marrowick::cli
