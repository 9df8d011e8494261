#include "app/run_sequence.h"

namespace vornset {

// Names are case-sensitive here: a file written as "VornSet.INI", as the first line
// spells it, is not the one looked for.
const std::string_view kSettingsSearchNote =
    "Looked for VornSet.ini (case matters) in vornset's folder, ., ~/.config/vornset, /etc/vornset, PATH";

}  // namespace vornset
