// Where `long double` has a 64-bit significand and the C library's strtold rounds
// exactly, the two must agree bit for bit on texts that the parser rounds only once:
// at most 18 significant digits scaled by at most 10^±27 (5^27 < 2^64, so that power
// is exact). Every build folds the results into a digest that must equal the x86-64
// build's, so builds without that strtold (ARM) parse the same texts to the same bits.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "tests/support/result_digest.h"
#include "text/number_parser.h"

namespace vornset {
namespace {

constexpr int kCases = 100000;
// What the x86-64 build parses the texts to, each checked there against strtold.
constexpr std::uint64_t kParsedDigest = 0x64D03F6384598D65u;

long double to_long_double(const Extended& value) {
  if (value.kind() == Extended::Kind::zero) return value.is_negative() ? -0.0L : 0.0L;
  const long double magnitude = std::ldexp(static_cast<long double>(value.significand()), value.exponent() - 63);
  return value.is_negative() ? -magnitude : magnitude;
}

class DecimalTexts {
 public:
  // One text in the exactly rounded range, varied in form: sign, leading zeros, point
  // anywhere (also in front of zeros), exponent letter case and sign.
  std::string next() {
    const int p = between(-27, 27);
    const std::uint64_t digits = random_digits(p);
    const std::string digit_text = std::to_string(digits);
    const int count = static_cast<int>(digit_text.size());

    std::string text;
    if (coin()) text += coin() ? "-" : "+";
    if (between(0, 3) == 0) text.append(static_cast<std::size_t>(between(1, 3)), '0');
    int point_position = count;
    switch (between(0, 2)) {
      case 0:
        text += digit_text;
        break;
      case 1: {
        point_position = between(0, count);
        text += digit_text.substr(0, static_cast<std::size_t>(point_position)) + "." +
                digit_text.substr(static_cast<std::size_t>(point_position));
        break;
      }
      default: {
        const int zeros = between(0, 5);
        point_position = -zeros;
        // Appended piece by piece: `"." + std::string(...)` trips GCC 12's -Wrestrict
        // false positive at -O2 and above.
        text += '.';
        text.append(static_cast<std::size_t>(zeros), '0');
        text += digit_text;
        break;
      }
    }
    // p = exponent + point position - digit count
    const int exponent = p - point_position + count;
    if (exponent != 0 || coin()) {
      text += coin() ? "E" : "e";
      text += exponent < 0 ? "-" : (coin() ? "+" : "");
      text += std::to_string(exponent < 0 ? -exponent : exponent);
    }
    return text;
  }

 private:
  int between(int low, int high) { return low + static_cast<int>(engine_() % static_cast<std::uint64_t>(high - low + 1)); }
  bool coin() { return (engine_() & 1u) != 0; }

  std::uint64_t random_digits(int p) {
    constexpr std::uint64_t kLimit = 1'000'000'000'000'000'000u;
    if (p >= 2 && coin()) {
      // digits·5^p with 65 significant bits and an odd last one: an exact tie between
      // two 64-bit significands.
      std::uint64_t power = 1;
      for (int i = 0; i < p; ++i) power *= 5u;
      const std::uint64_t low = ~std::uint64_t{0} / power + 1u;
      const std::uint64_t high = std::min(2u * (low - 1u), kLimit - 1u);
      if (low <= high) return (low + engine_() % (high - low + 1u)) | 1u;
    }
    std::uint64_t scale = 10;
    for (int count = between(1, 18); count > 1; --count) scale *= 10u;
    return 1u + engine_() % (scale - 1u);
  }

  std::mt19937_64 engine_{77};
};

TEST(ParseNumberAgainstStrtold, AgreesBitForBit) {
  DecimalTexts texts;
  ResultDigest digest;
  int mismatches = 0;
  for (int i = 0; i < kCases && mismatches < 10; ++i) {
    const std::string text = texts.next();
    const Extended parsed = parse_number(text);
    digest.add(parsed);
    if (!long_double_is_x87) continue;
    const long double theirs = std::strtold(text.c_str(), nullptr);
    const long double ours = to_long_double(parsed);
    if (ours != theirs || std::signbit(ours) != std::signbit(theirs)) {
      ++mismatches;
      ADD_FAILURE() << '"' << text << '"';
    }
  }
  EXPECT_EQ(digest.value(), kParsedDigest);
}

}  // namespace
}  // namespace vornset
