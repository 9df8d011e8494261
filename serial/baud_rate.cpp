#include "serial/baud_rate.h"

#include <optional>

#include "text/number_parser.h"

namespace vornset {

std::uint32_t baud_rate_for_text(std::string_view baud_text) {
  const std::optional<std::int64_t> value = parse_number(baud_text).round_to_int64();
  if (!value) return 0;
  // Only the low 32 bits reach the driver: 4294976896 is 2^32 + 9600 and gives 9600.
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(*value));
}

bool rate_taken(std::uint32_t asked, std::uint32_t got) {
  const std::uint64_t difference = asked > got ? asked - got : got - asked;
  return difference * 50 <= asked;
}

}  // namespace vornset
