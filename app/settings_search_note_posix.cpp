#include "app/run_sequence.h"

namespace vornset {

// Names are case-sensitive here: a file written as "VornSet.INI", as the first line
// spells it, is not the one looked for.
const std::string_view kSettingsSearchNote =
    "Looked for VornSet.ini, letter case as written, beside the program, in the current directory, "
    "~/.config/vornset, /etc/vornset and PATH";

}  // namespace vornset
