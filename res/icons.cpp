// Icon resources: the .ico files, embedded at build time.
#include <cstddef>

#include "dialog_template.h"
#include "resource.h"

namespace res {

extern const unsigned char kMainFrameIcon[];
extern const std::size_t kMainFrameIconSize;

std::span<const unsigned char> FindIcon(UINT id) {
    if (id == IDR_MAINFRAME) return {kMainFrameIcon, kMainFrameIconSize};
    return {};
}

}  // namespace res
