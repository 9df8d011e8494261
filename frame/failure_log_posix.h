#pragma once

#include <string>
#include <string_view>

namespace vornset {

// "vornset: ", `line` as the terminal would show it (UTF-8; control characters as
// pictures of themselves, so that nothing from a settings file reaches a log raw), "\n".
std::string failure_log_text(std::string_view line);

}  // namespace vornset
