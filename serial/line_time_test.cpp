#include "serial/line_time.h"

#include <gtest/gtest.h>

namespace vornset {
namespace {

struct LineTimeRow {
  std::uint64_t bytes;
  std::uint32_t rate;
  LineFormat format;
  std::uint64_t milliseconds;
};

class LineTime : public ::testing::TestWithParam<LineTimeRow> {};

TEST_P(LineTime, CountsEveryBitOfEachByteAndRoundsUp) {
  const LineTimeRow& row = GetParam();
  EXPECT_EQ(line_time_ms(row.bytes, row.rate, row.format), row.milliseconds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, LineTime,
    ::testing::Values(
        // "LP1;TT0;FA00007050000;" at 50 baud, 8N1: 22 x 10 bits.
        LineTimeRow{22, 50, {}, 4400}, LineTimeRow{22, 75, {}, 2934}, LineTimeRow{22, 9600, {}, 23},
        LineTimeRow{1, 9600, {}, 2},  // 1.04 ms rounds up
        // 7E2: 1 + 7 + 1 + 2 = 11 bits; 5N1.5: 7.5 bits.
        LineTimeRow{10, 1100, {7, Parity::even, StopBits::two}, 100},
        LineTimeRow{20, 150, {5, Parity::none, StopBits::one_and_half}, 1000},
        LineTimeRow{22, 0, {}, 0}, LineTimeRow{0, 50, {}, 0}));

}  // namespace
}  // namespace vornset
