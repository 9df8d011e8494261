#!/usr/bin/env bash
# The manual page formats without a warning; the help, the manual page and the README tell
# the same facts; lintian finds no error or warning in the .debs for amd64, arm64 and armhf,
# each of which installs the program and the simulated instrument it drives (the ARM ones
# run under qemu-user); the Windows .zip holds what a user needs. Packages come from the
# default, aarch64, armhf and mingw-i686 builds, which are configured and built here when
# they are not yet.
set -euo pipefail
cd "$(dirname "$0")/../.."
native=${VORNSET_NATIVE_BUILD:-build/default}
arm64=${VORNSET_ARM64_BUILD:-build/aarch64}
armhf=${VORNSET_ARMHF_BUILD:-build/armhf}
windows=${VORNSET_WINDOWS_BUILD:-build/mingw-i686}
jobs=$(nproc)

for build in "$native" "$arm64" "$armhf" "$windows"; do
  if [ ! -f "$build/CMakeCache.txt" ]; then
    cmake --preset "$(basename "$build")" >/dev/null
  fi
  cmake --build "$build" -j "$jobs" >/dev/null
done

echo "-- manual pages"
for page in docs/vornset.1 docs/vornset-instrument-sim.1; do
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null)
  if [ -n "$warnings" ]; then
    echo "$page: $warnings" >&2
    exit 1
  fi
  echo "$page formats without warnings"
done

echo "-- shared facts"
python3 tests/docs/shared_facts.py "$native/vornset" docs/vornset.1 README.md

for build_and_architecture in "$native:$(dpkg --print-architecture)" "$arm64:arm64" "$armhf:armhf"; do
  build=${build_and_architecture%:*}
  echo "-- .deb from $build"
  rm -rf "$build/packages"
  (cd "$build" && cpack -G DEB >/dev/null)
  debs=("$build"/packages/*.deb)
  tests/package/deb_runs_the_instrument.sh "${debs[0]}" "${build_and_architecture##*:}"
done

echo "-- .zip"
rm -rf "$windows/packages"
(cd "$windows" && cpack -G ZIP >/dev/null)
zips=("$windows"/packages/*.zip)
version=$("$native/vornset" --version | cut -d' ' -f2)
python3 tests/package/zip_holds_the_windows_program.py "${zips[0]}" "$version"
