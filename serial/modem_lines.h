#pragma once

#include <cstdint>

namespace vornset {

// What the settings ask of a modem control line while the port is open. Radio interfaces
// wire DTR or RTS to a transmitter's push-to-talk or to a reset, so "as found" (no key)
// leaves the line exactly as the driver has it, as runs always did.
enum class LineLevel : std::uint8_t { as_found, off, on };

struct ModemLines {
  LineLevel dtr = LineLevel::as_found;
  LineLevel rts = LineLevel::as_found;
  bool any() const { return dtr != LineLevel::as_found || rts != LineLevel::as_found; }
};

}  // namespace vornset
