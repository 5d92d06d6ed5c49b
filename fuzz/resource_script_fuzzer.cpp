// Feeds arbitrary bytes to the resource-script reader as the program's own script, with
// resource.h available to include. Malformed input must be refused with a
// ResourceScriptError; anything else (a crash, another exception) is a fault.
#include <cstddef>
#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "resource_script.h"

namespace {

// A few identifiers to include, so the fuzzer reaches the statements that use them.
constexpr std::string_view kResourceH =
    "#define IDD_SAMPLE 100\n#define IDC_EDIT 1000\n#define IDS_TEXT 101\n";

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view script(reinterpret_cast<const char*>(data), size);
    const std::map<std::string, std::string_view> includes = {{"resource.h", kResourceH}};
    res::ResourceTable table;
    try {
        res::ParseResourceScript("fuzz.rc", script, includes, table);
    } catch (const res::ResourceScriptError&) {
        // Refused with its line: what malformed input must get.
    }
    return 0;
}
