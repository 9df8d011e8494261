#pragma once

#include <cstddef>
#include <span>
#include <string_view>

#include "frame/screen_buffer.h"

namespace vornset {

// Turns a text in the platform's 8-bit encoding (the ANSI code page on Windows,
// UTF-8 elsewhere) into cell characters and returns how many it wrote.
// No encoding yields more characters than bytes, so `out` needs text.size() room.
std::size_t widen_text(std::string_view text, std::span<CellChar> out);

}  // namespace vornset
