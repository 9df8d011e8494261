#pragma once

#include <string>

namespace vornset {

// Upper-cases wide text in place with the system's mapping (one unit for one unit) and
// narrows it to the ANSI code page; characters the code page lacks take the system's
// best-fit or default character. Empty when nothing converts.
std::string upper_case_and_narrow(std::wstring text);

}  // namespace vornset
