// Feeds arbitrary bytes to the reader of .reg files. Whatever it accepts must write out in
// both of Windows' formats as files it reads back with the same keys and value names.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "reg_file.h"

using namespace marrowick::platform;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const RegFileContents contents =
        ReadRegFile(std::string_view(reinterpret_cast<const char*>(data), size));
    if (contents.failure != RegFileContents::kNone) return 0;
    std::vector<RegFileKey> keys;
    for (const RegFileEntry& entry : contents.entries) {
        if (entry.kind == RegFileEntry::kKey) keys.push_back({std::string(entry.keyPath), {}});
        if (entry.kind == RegFileEntry::kValue) keys.back().values.push_back(entry.value);
    }
    for (const RegFileFormat format : {RegFileFormat::kVersion5, RegFileFormat::kRegedit4}) {
        const RegFileContents again = ReadRegFile(WriteRegFile(keys, format));
        if (again.failure != RegFileContents::kNone) std::abort();
        std::size_t k = 0, v = 0;
        for (const RegFileEntry& entry : again.entries) {
            if (entry.kind == RegFileEntry::kKey) {
                if (k >= keys.size() || FoldName(keys[k].path) != FoldName(entry.keyPath)) {
                    std::abort();
                }
                ++k, v = 0;
            } else if (entry.kind != RegFileEntry::kValue || k == 0 ||
                       v >= keys[k - 1].values.size() ||
                       keys[k - 1].values[v++].name != entry.value.name) {
                std::abort();
            }
        }
        if (k != keys.size()) std::abort();
    }
    return 0;
}
