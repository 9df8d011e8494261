#!/usr/bin/env bash
# Builds the fuzz targets (clang, libFuzzer, AddressSanitizer, UndefinedBehaviorSanitizer)
# and runs each for a bounded time over its seed corpus in fuzz/corpus/<target>. Any crash,
# sanitizer report, hang or broken property fails the check; the input that caused it is
# kept in build/fuzz/findings/.
#   VORNSET_FUZZ_SECONDS   time per target (default 60)
#   VORNSET_FUZZ_DIR       build directory (default build/fuzz)
set -euo pipefail
cd "$(dirname "$0")/../.."
seconds="${VORNSET_FUZZ_SECONDS:-60}"
build="${VORNSET_FUZZ_DIR:-build/fuzz}"

cmake --preset fuzz -B "$build" >/dev/null
cmake --build "$build" --target fuzz_targets -j "$(nproc)"

findings="$build/findings"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"

run_target() {
  local target=$1
  mkdir -p "$work/$target"
  # New inputs go to the scratch directory; the checked-in seeds are only read.
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -print_final_stats=1 -artifact_prefix="$findings/$target-" \
      "$work/$target" "fuzz/corpus/$target" >"$work/$target.log" 2>&1; then
    echo "$target: $(grep -E '^#[0-9]+[[:space:]]+DONE' "$work/$target.log" | tail -1)"
  else
    echo "$target: FINDING"
    tail -40 "$work/$target.log"
    return 1
  fi
}

targets=(number_parser_fuzz number_formatter_fuzz settings_reader_fuzz band_selection_fuzz
         terminal_posix_fuzz run_sequence_fuzz telnet_reader_fuzz)
parallel="$(nproc)"
status=0
for ((i = 0; i < ${#targets[@]}; i += parallel)); do
  pids=()
  for target in "${targets[@]:i:parallel}"; do
    run_target "$target" &
    pids+=($!)
  done
  for pid in "${pids[@]}"; do wait "$pid" || status=1; done
done
exit "$status"
