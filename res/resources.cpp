// The program's resources: its resource scripts, embedded at build time and read once,
// on first use.
#include <cstdio>
#include <cstdlib>
#include <memory>

#include "dialog_template.h"
#include "resource_script.h"

namespace res {

// Generated from the files of the same names.
extern const unsigned char kMarrowickRc[];
extern const std::size_t kMarrowickRcSize;
extern const unsigned char kFrameworkRc[];
extern const std::size_t kFrameworkRcSize;
extern const unsigned char kResourceH[];
extern const std::size_t kResourceHSize;
extern const unsigned char kMarrowickIco[];
extern const std::size_t kMarrowickIcoSize;

namespace {

std::string_view Text(const unsigned char* bytes, std::size_t size) {
    return {reinterpret_cast<const char*>(bytes), size};
}

const ResourceTable& Table() {
    static const std::unique_ptr<const ResourceTable> table = [] {
        auto loaded = std::make_unique<ResourceTable>();
        try {
            const std::map<std::string, std::string_view> includes = {
                {"resource.h", Text(kResourceH, kResourceHSize)}};
            ParseResourceScript("marrowick.rc", Text(kMarrowickRc, kMarrowickRcSize), includes,
                                *loaded);
            ParseResourceScript("framework.rc", Text(kFrameworkRc, kFrameworkRcSize), includes,
                                *loaded);
        } catch (const ResourceScriptError& error) {
            // The scripts are part of the program; the tests read them too.
            std::fprintf(stderr, "broken resources: %s\n", error.what());
            std::abort();
        }
        return loaded;
    }();
    return *table;
}

}  // namespace

std::span<const DialogTemplate> DialogTemplates() {
    return Table().dialogs;
}

const DialogTemplate* FindDialogTemplate(UINT id) {
    for (const DialogTemplate& dialog : Table().dialogs) {
        if (dialog.id == id) return &dialog;
    }
    return nullptr;
}

const char* FindString(UINT id) {
    const auto& strings = Table().strings;
    auto found = strings.find(id);
    return found == strings.end() ? nullptr : found->second;
}

std::span<const unsigned char> FindIcon(UINT id) {
    const auto& icons = Table().iconFiles;
    auto found = icons.find(id);
    if (found == icons.end() || found->second != "marrowick.ico") return {};
    return {kMarrowickIco, kMarrowickIcoSize};
}

}  // namespace res
