#include <algorithm>

#include "frame/console_output.h"
#include "text/number_formatter.h"

namespace vornset {

void ConsoleOutput::print_number(double value) {
  char printed[kPrintedNumberCapacity];
  const std::size_t length = std::min(format_printed_number(value, printed), kPrintedNumberCapacity);
  // The printed form is ASCII: each byte is the cell character of the same value,
  // whatever the code page.
  CellChar cells[kPrintedNumberCapacity];
  for (std::size_t i = 0; i < length; ++i) cells[i] = static_cast<unsigned char>(printed[i]);
  write_cells({cells, length});
}

}  // namespace vornset
