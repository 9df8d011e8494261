#include "text/upper_case_narrow_win32.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

namespace vornset {
namespace {

TEST(UpperCaseAndNarrow, UpperCasesThenNarrowsToTheAnsiCodePage) {
  EXPECT_EQ(upper_case_and_narrow(L""), "");
  EXPECT_EQ(upper_case_and_narrow(L"freq 7.1  "), "FREQ 7.1  ");
  EXPECT_EQ(upper_case_and_narrow(L"\t\"7.05\""), "\t\"7.05\"");
  if (GetACP() != 1252) GTEST_SKIP() << "ANSI code page " << GetACP() << ", not 1252";
  EXPECT_EQ(upper_case_and_narrow(L"\u00e4"), "\xC4");       // ä -> Ä -> 0xC4
  EXPECT_EQ(upper_case_and_narrow(L"vhf \u00e9"), "VHF \xC9");
  // Characters the code page lacks become its replacement, never UTF-16 units.
  const std::string replaced = upper_case_and_narrow(L"\u4e2d");
  EXPECT_EQ(replaced.size(), 1u);
}

}  // namespace
}  // namespace vornset
