#pragma once

#include <cstdio>
#include <cstdlib>

// A property that failed is a finding like a crash: libFuzzer keeps the input that
// caused it and the run fails.
#define FUZZ_CHECK(condition)                                                        \
  do {                                                                               \
    if (!(condition)) {                                                              \
      std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #condition); \
      std::abort();                                                                  \
    }                                                                                \
  } while (false)

// A path the run must never take.
#define FUZZ_FAIL(what)                                                  \
  do {                                                                   \
    std::fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, what);       \
    std::abort();                                                        \
  } while (false)
