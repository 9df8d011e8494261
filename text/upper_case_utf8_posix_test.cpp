#include "text/upper_case_utf8_posix.h"

#include <gtest/gtest.h>

#include <string_view>

namespace vornset {
namespace {

struct UpperCaseCase {
  std::string_view text;
  std::string_view upper;
};

TEST(UpperCaseUtf8, AsciiLettersOnly) {
  const UpperCaseCase table[] = {
      {"", ""}, {"freq 7.1", "FREQ 7.1"}, {"azAZ@[`{09", "AZAZ@[`{09"}, {"\t\r\n\x7f", "\t\r\n\x7f"},
  };
  for (const UpperCaseCase& row : table) {
    EXPECT_EQ(upper_case_utf8(row.text), row.upper) << row.text;
  }
}

TEST(UpperCaseUtf8, OtherLettersBySimpleCaseMapping) {
  const UpperCaseCase table[] = {
      {"\xC3\xA4", "\xC3\x84"},                  // ä -> Ä
      {"vhf \xC3\xA9t\xC3\xA9", "VHF \xC3\x89T\xC3\x89"},  // été -> ÉTÉ
      {"\xCF\x89", "\xCE\xA9"},                  // ω -> Ω
      {"\xD0\xB6", "\xD0\x96"},                  // ж -> Ж
      {"\xC3\x9F", "\xC3\x9F"},                  // ß has no single upper-case letter
      {"\xC4\xB1", "I"},                         // dotless ı -> I: one byte shorter
      {"\xE2\x82\xAC", "\xE2\x82\xAC"},          // € is no letter
      {"\xF0\x90\x90\xA8", "\xF0\x90\x90\x80"},  // Deseret, beyond 16 bits
  };
  for (const UpperCaseCase& row : table) {
    EXPECT_EQ(upper_case_utf8(row.text), row.upper) << row.text;
  }
}

TEST(UpperCaseUtf8, InvalidBytesPassThroughUnchanged) {
  const UpperCaseCase table[] = {
      {"\xFF", "\xFF"},
      {"a\xC3", "A\xC3"},                        // cut-off sequence at the end
      {"\xC3(a", "\xC3(A"},                      // lead byte without continuation
      {"\xC0\xAF", "\xC0\xAF"},                  // overlong '/'
      {"\xE0\x80\xAF", "\xE0\x80\xAF"},          // overlong, three bytes
      {"\xED\xA0\x80", "\xED\xA0\x80"},          // a surrogate
      {"\xF4\x90\x80\x80", "\xF4\x90\x80\x80"},  // above U+10FFFF
      {"\x80z\xC3\xA4", "\x80Z\xC3\x84"},        // a stray continuation, then valid text
  };
  for (const UpperCaseCase& row : table) {
    EXPECT_EQ(upper_case_utf8(row.text), row.upper) << row.text;
  }
}

}  // namespace
}  // namespace vornset
