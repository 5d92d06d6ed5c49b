// Feeds arbitrary bytes to the hive parser. Whatever it accepts must write out as text
// that parses back to the same tree, and that text must be stable from then on.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "hive_text.h"

using marrowick::platform::ParseHive;
using marrowick::platform::SameTree;
using marrowick::platform::WriteHive;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto tree = ParseHive(std::string_view(reinterpret_cast<const char*>(data), size));
    if (!tree) return 0;
    const std::string text = WriteHive(*tree);
    const auto again = ParseHive(text);
    if (!again || !SameTree(*tree, *again) || WriteHive(*again) != text) std::abort();
    return 0;
}
