#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace vornset {

// Remembers where the command-line tail (everything behind the program name) starts.
// Called once at start-up. Windows takes GetCommandLineW() and ignores the arguments;
// POSIX keeps argv[1..argc-1], which must live as long as the process.
void capture_command_line(int argc, char** argv);

// The tail, upper-cased and narrowed to 8-bit text in the ANSI code page (UTF-8 on
// POSIX, where the tail is the arguments joined by single blanks). Never fails.
std::string take_command_text();

// The tail as typed, before any upper-casing, when every character of it is ASCII; none
// otherwise. Whole-line requests such as '--help' are decided on it, where case counts and
// no narrowing may turn another character into one of theirs.
std::optional<std::string> ascii_command_tail();

// Index of the first tail unit in a Windows command line: behind the program name,
// which is either quoted or runs up to the first unit <= U+0020, and behind the spaces
// after it. A TAB or other control character right behind the name starts the tail.
std::size_t find_tail_start(std::u16string_view command_line);

}  // namespace vornset
