#pragma once

#include <string>
#include <string_view>

#include "settings/port_settings.h"

namespace vornset {

// Applies the keys "COM" and "BAUD", in that order, to one line of the settings file: a
// key anywhere in the line, in any letter case, makes the rest of the line behind it the
// new text. Then "DTR" and "RTS", which count only at the start of the line (blanks
// before them allowed), so that remarks and other lines are never taken for one: the key,
// blanks, ON or OFF in any letter case, and nothing but blanks behind. A line that starts
// with one of them and says anything else, or that holds one behind a lone LF (a file
// with LF line ends reads as one line), is kept as the settings' modem line mistake.
void apply_settings_keys(std::string_view line, PortSettings& settings);

}  // namespace vornset
