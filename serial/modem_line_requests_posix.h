#pragma once

#include <sys/ioctl.h>

#include <array>
#include <utility>

#include "serial/modem_lines.h"

namespace vornset {

// One ioctl of the terminal interface on the modem lines: `code` with the TIOCM bits of
// `lines`. A request without lines is not made.
struct ModemLineRequest {
  unsigned long code;
  int lines;
};

// TIOCMBIC with the lines to lower, then TIOCMBIS with those to raise; the other lines
// (OUT1, OUT2, loopback) stay as they are. The fake driver of the tests takes the same
// requests, so a lowering sent as a raise shows there.
inline std::array<ModemLineRequest, 2> modem_line_requests(ModemLines lines) {
  std::array<ModemLineRequest, 2> requests{{{TIOCMBIC, 0}, {TIOCMBIS, 0}}};
  for (const auto& [level, bit] : {std::pair{lines.dtr, TIOCM_DTR}, std::pair{lines.rts, TIOCM_RTS}}) {
    if (level == LineLevel::off) requests[0].lines |= bit;
    if (level == LineLevel::on) requests[1].lines |= bit;
  }
  return requests;
}

}  // namespace vornset
