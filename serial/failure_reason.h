#pragma once

#include <cstdint>
#include <string_view>

namespace vornset {

// A short plain reason for a system code of this platform ("permission denied"), one a
// user can act on; empty when the code says nothing worth showing.
std::string_view serial_failure_reason(std::uint32_t system_code);

}  // namespace vornset
