#!/usr/bin/env bash
# Measures one `vornset 7.05` run side by side with the least a process can do for the same
# job (bench/floor.c) and with a user's stty-and-printf script: instructions, wall time,
# peak memory, system calls and file size, each with its ratio to the floor. Also reports
# the size and imports of the Windows program.
#   scripts/bench.sh           full run: several rounds; fails when vornset misses a target
#   scripts/bench.sh --quick   few runs: shows the bench still works (CI)
set -euo pipefail
cd "$(dirname "$0")/.."

mode=()
case "${1:-}" in
  "") ;;
  --quick) mode=(--quick) ;;
  *) echo "usage: $0 [--quick]" >&2; exit 2 ;;
esac

scripts/install_packages.sh

echo "== building the release program and the Windows program"
cmake --preset release -B build/bench-release >/dev/null
cmake --build build/bench-release -j 2 --target vornset >/dev/null
cmake --preset mingw-i686 -B build/bench-mingw-i686 >/dev/null
cmake --build build/bench-mingw-i686 -j 2 --target vornset >/dev/null

# The floor is linked statically like the release program, so both pay the same start-up.
mkdir -p build/bench-floor
cc -std=c11 -O2 -static -Wall -Wextra -Wpedantic -Wconversion -Wsign-conversion -Wshadow -Werror \
  bench/floor.c -o build/bench-floor/floor

echo "== measuring"
python3 bench/bench.py "${mode[@]}" \
  --vornset build/bench-release/vornset \
  --floor build/bench-floor/floor \
  --user-job bench/user_job.sh \
  --windows build/bench-mingw-i686/VornSet.exe \
  --work build/bench-run
