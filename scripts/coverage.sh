#!/usr/bin/env bash
# Builds with clang's source-based coverage, runs the unit and end-to-end suites and
# prints line coverage per folder. With --lines it also lists the lines no test ran.
#   scripts/coverage.sh [--lines]        (build directory: $VORNSET_COVERAGE_DIR or build/coverage)
set -euo pipefail
cd "$(dirname "$0")/.."
show_lines=0
[ "${1:-}" = "--lines" ] && show_lines=1
scripts/install_packages.sh

build="${VORNSET_COVERAGE_DIR:-build/coverage}"
mkdir -p "$build"
build="$(cd "$build" && pwd)"
profiles="$build/profiles"
rm -rf "$profiles"
mkdir -p "$profiles"

# The end-to-end suite starts the program with an environment of its own, so the place
# for the profiles is built into every binary rather than passed in LLVM_PROFILE_FILE.
flags="-fprofile-instr-generate=$profiles/%p-%m.profraw -fcoverage-mapping"
cmake --preset coverage -B "$build" -DCMAKE_C_FLAGS="$flags" -DCMAKE_CXX_FLAGS="$flags" \
  -DCMAKE_EXE_LINKER_FLAGS="-fprofile-instr-generate=$profiles/%p-%m.profraw" >/dev/null
cmake --build "$build" -j "$(nproc)"
ctest --test-dir "$build" --output-on-failure
llvm-profdata merge -sparse "$profiles"/*.profraw -o "$build/coverage.profdata"

binaries=("$build/tests/vornset_unit_tests")
for extra in "$build/tests/vornset_e2e_tests" "$build/vornset"; do
  [ -x "$extra" ] && binaries+=(-object "$extra")
done
llvm-cov export -format=text -instr-profile="$build/coverage.profdata" "${binaries[@]}" \
  -ignore-filename-regex='(/usr/|googletest|_test\.cpp$|/tests/|/fake_)' > "$build/coverage.json"

python3 - "$build/coverage.json" "$PWD" "$show_lines" <<'PY'
import json, sys
report, root, show_lines = sys.argv[1], sys.argv[2].rstrip("/") + "/", sys.argv[3] == "1"
folders = ["text", "app", "settings", "serial", "frame"]
data = json.load(open(report))["data"][0]
totals = {f: [0, 0] for f in folders}
missed = {f: [] for f in folders}
for entry in data["files"]:
    name = entry["filename"].removeprefix(root)
    folder = name.split("/")[0]
    if folder not in totals:
        continue
    lines = entry["summary"]["lines"]
    totals[folder][0] += lines["covered"]
    totals[folder][1] += lines["count"]
    if show_lines and lines["covered"] < lines["count"]:
        # Segments: [line, column, count, has_count, is_region_entry, is_gap]; a line is
        # missed when a counted region starts on it with a zero count.
        lines_missed = sorted({s[0] for s in entry["segments"] if s[3] and s[4] and not s[5] and s[2] == 0})
        missed[folder].append(f"  {name}: {', '.join(map(str, lines_missed))}")
print(f"{'folder':<10}{'lines':>8}{'covered':>9}{'percent':>9}")
for folder in folders:
    covered, count = totals[folder]
    percent = 100.0 * covered / count if count else 100.0
    print(f"{folder + '/':<10}{count:>8}{covered:>9}{percent:>8.1f}%")
    for line in missed[folder]:
        print(line)
PY
