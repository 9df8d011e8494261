#include "frame/console_text.h"

#include <algorithm>
#include <climits>

#include <windows.h>

namespace vornset {

std::size_t widen_text(std::string_view text, std::span<CellChar> out) {
  const int length = static_cast<int>(std::min<std::size_t>(text.size(), INT_MAX));
  const int room = static_cast<int>(std::min<std::size_t>(out.size(), INT_MAX));
  int written = MultiByteToWideChar(CP_ACP, MB_PRECOMPOSED, text.data(), length, out.data(), room);
  // A system whose ANSI code page is UTF-8 refuses every flag but 0.
  if (written == 0 && GetLastError() == ERROR_INVALID_FLAGS) {
    written = MultiByteToWideChar(CP_ACP, 0, text.data(), length, out.data(), room);
  }
  return static_cast<std::size_t>(std::max(written, 0));
}

}  // namespace vornset
