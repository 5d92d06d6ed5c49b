// Key paths below a root key, as the registry functions and .reg files spell them: names
// joined by backslashes. Trailing backslashes mean nothing ("A\B\" is "A\B"), as Windows
// takes them; a leading one or an empty name between two makes no path. Every layer reads
// paths through here, so that a check and the write it guards name the same key.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace marrowick::platform {

enum class KeyPathFault {
    kNone,
    kBadPath,  // a leading backslash or an empty name
    kBadName,  // a name too long, or holding a line break or NUL
    kTooDeep,  // more levels than a key can be below its root
};

// Reads a path: its names in order into *names and the path without its trailing
// backslashes into *normal (both views into path), when given.
KeyPathFault ReadKeyPath(std::string_view path, std::string_view* normal = nullptr,
                         std::vector<std::string_view>* names = nullptr);

// The path in the one spelling all layers compare, or nothing when it names no key.
std::optional<std::string> NormalKeyPath(std::string_view path);

}  // namespace marrowick::platform
