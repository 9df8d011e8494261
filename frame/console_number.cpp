#include <algorithm>

#include "frame/console_output.h"
#include "text/number_formatter.h"

namespace vornset {

void ConsoleOutput::print_number(double value) {
  char printed[kPrintedNumberCapacity];
  const std::size_t length = std::min(format_printed_number(value, printed), kPrintedNumberCapacity);
  write_ascii({printed, length});  // the printed form is ASCII
}

}  // namespace vornset
