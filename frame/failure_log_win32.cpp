#include "frame/failure_log.h"

namespace vornset {

// A Windows run shows its lines in the console only.
void log_failure_line(std::string_view) {}

}  // namespace vornset
