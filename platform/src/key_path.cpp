#include "key_path.h"

#include "hive_tree.h"

namespace marrowick::platform {

KeyPathFault ReadKeyPath(std::string_view path, std::string_view* normal,
                         std::vector<std::string_view>* names) {
    if (path.starts_with('\\')) return KeyPathFault::kBadPath;
    while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
    if (normal) *normal = path;
    std::size_t depth = 0;
    for (std::string_view rest = path; !rest.empty();) {
        const std::size_t end = rest.find('\\');
        const std::string_view name = rest.substr(0, end);
        if (name.empty()) return KeyPathFault::kBadPath;
        if (!IsStorableName(name, kMaxKeyNameCharacters)) return KeyPathFault::kBadName;
        // Checked before going on, so that a path of a million levels is not taken apart.
        if (++depth > kMaxKeyDepth) return KeyPathFault::kTooDeep;
        if (names) names->push_back(name);
        if (end == std::string_view::npos) break;
        rest.remove_prefix(end + 1);
    }
    return KeyPathFault::kNone;
}

std::optional<std::string> NormalKeyPath(std::string_view path) {
    std::string_view normal;
    if (ReadKeyPath(path, &normal) != KeyPathFault::kNone) return std::nullopt;
    return std::string(normal);
}

}  // namespace marrowick::platform
