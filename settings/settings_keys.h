#pragma once

#include <string>
#include <string_view>

#include "settings/port_settings.h"

namespace vornset {

// Applies the keys "COM" and "BAUD", in that order, to one line of the settings file: a
// key anywhere in the line, in any letter case, makes the rest of the line behind it the
// new text.
void apply_settings_keys(std::string_view line, PortSettings& settings);

}  // namespace vornset
