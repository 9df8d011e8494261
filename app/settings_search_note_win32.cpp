#include "app/run_sequence.h"

namespace vornset {

// The system's own search order, in any letter case: the first line says all.
const std::string_view kSettingsSearchNote;

}  // namespace vornset
