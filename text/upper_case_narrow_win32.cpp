#include "text/upper_case_narrow_win32.h"

#include <windows.h>

namespace vornset {

std::string upper_case_and_narrow(std::wstring text) {
  if (text.empty()) return {};
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  // A command line is at most 32767 units, so the length fits an int.
  const int units = static_cast<int>(text.size());
  const int size = WideCharToMultiByte(CP_ACP, 0, text.data(), units, nullptr, 0, nullptr, nullptr);
  if (size <= 0) return {};
  std::string narrow(static_cast<std::size_t>(size), '\0');
  const int written = WideCharToMultiByte(CP_ACP, 0, text.data(), units, narrow.data(), size, nullptr, nullptr);
  narrow.resize(written > 0 ? static_cast<std::size_t>(written) : 0u);
  return narrow;
}

}  // namespace vornset
