#pragma once

#include <string>
#include <string_view>

#include "settings/port_settings.h"

namespace vornset {

// The end of the failure line when the run failed at the port (`port_opened` false) or at
// its rate (the port opened, the rate was refused) and the texts the settings file gave
// show a mistake of the kind new users make: LF line ends, "COM=..." or "COM ...", blanks
// behind the port, "BAUD=9600", or a remark taken as the port ("; communication settings"
// gives the port "munication settings"). It names the file that was read and the fix, as
// in "; VornSet.ini (/home/ann/.config/vornset) has LF line ends: end each line with CR LF".
// Empty when no file was read or the texts show no such mistake. The texts are judged as
// the reader took them: the hint explains the reading rules, it does not change them.
std::string settings_mistake_hint(const PortSettings& settings, bool port_opened);

inline constexpr std::string_view kModemLineMistakeMessage = "Modem line setting not understood, nothing sent";

// The failure line for a settings line that starts with DTR or RTS and is no modem line
// setting: the file and the fix, as in "Modem line setting not understood, nothing sent;
// VornSet.ini (/etc/vornset): write DTR OFF or DTR ON, not DTR 0".
std::string modem_line_mistake_message(const PortSettings& settings);

}  // namespace vornset
