#include "text/command_tail.h"

#include "text/command_text.h"

namespace vornset {

std::size_t find_tail_start(std::u16string_view command_line) {
  return find_tail_start_in(command_line);
}

}  // namespace vornset
