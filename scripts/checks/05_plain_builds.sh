#!/usr/bin/env bash
# The build people type without reading the scripts: plain CMake with the system compiler,
# then ctest, from an empty build folder. One build type per compiler keeps it short: GCC
# optimised (where its warnings differ most from a debug build), Clang unoptimised. Warnings
# are errors here as in every build of ours; the plain default only reports them.
set -euo pipefail
cd "$(dirname "$0")/../.."
jobs=$(nproc)

plain_build() {  # C compiler, C++ compiler, build type
  local build=build/plain-$1-${3,,}
  local started=$SECONDS
  echo "-- $1, $3 ($build)"
  rm -rf "$build"
  CC=$1 CXX=$2 cmake -S . -B "$build" -DCMAKE_BUILD_TYPE="$3" -DVORNSET_WERROR=ON >/dev/null
  cmake --build "$build" -j "$jobs" >/dev/null
  ctest --test-dir "$build" --output-on-failure
  echo "$1, $3: built and passed in $((SECONDS - started)) s"
}

plain_build gcc g++ Release
plain_build clang clang++ Debug
