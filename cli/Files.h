// Reading and writing the files an administrator names, safely also in directories that
// others may write to.
#pragma once

#include <string>

namespace marrowick::cli {

// The whole content of a regular file. Refuses symbolic links and anything that is not a
// regular file (a FIFO would block), and files beyond 256 MiB.
bool ReadWholeFile(const std::string& path, std::string& bytes);

// Replaces the file with these bytes in one step, mode 0644 (see replace_file.h). A
// symbolic link at the path is replaced, never followed.
bool WriteFileReplacing(const std::string& path, const std::string& bytes);

}  // namespace marrowick::cli
