#!/bin/bash
# Builds the libFuzzer targets (fuzz/) with clang and runs them side by side
# for a while, each on a copy of its seed corpus. Exits non-zero when a
# target finds a fault (crash, sanitizer report, broken property, leak or
# timeout) or does not build.
#
#   scripts/fuzz.sh [seconds-per-target]      default 30
#
# Environment: KESTRAD_FUZZ_BUILD (build dir, default build/fuzz),
# KESTRAD_FUZZ_JOBS (build jobs, default 2). Findings are kept in
# <build>/findings/<target>/ for replay: <build>/fuzz_<target> <file>.
set -u
cd "$(dirname "$0")/.."

seconds=${1:-30}
build=${KESTRAD_FUZZ_BUILD:-build/fuzz}
targets=(split_switches csv_line)

CC=${CC:-clang} CXX=${CXX:-clang++} cmake -S fuzz -B "$build" >/dev/null || exit 2
cmake --build "$build" -j "${KESTRAD_FUZZ_JOBS:-2}" >/dev/null || exit 2

# The targets run side by side, each for the whole time.
pids=()
for t in "${targets[@]}"; do
  work="$build/corpus/$t"
  findings="$build/findings/$t"
  mkdir -p "$work" "$findings"
  # The seeds stay as they are; new inputs go to the working corpus.
  "$build/fuzz_$t" "$work" "fuzz/corpus/$t" -max_total_time="$seconds" \
    -timeout=10 -rss_limit_mb=2048 -max_len=4096 -print_final_stats=1 \
    -artifact_prefix="$findings/" 2>"$build/$t.log" &
  pids+=($!)
done

status=0
for i in "${!targets[@]}"; do
  t=${targets[$i]}
  echo "=== fuzz $t for ${seconds}s"
  if ! wait "${pids[$i]}"; then
    status=1
    echo "=== $t: FINDING, see $build/$t.log and $build/findings/$t/"
  fi
  grep -E '^(Done [0-9]+ runs|stat::number_of_executed_units|stat::peak_rss_mb)' \
    "$build/$t.log" | sed 's/^/    /'
  grep -E '^#[0-9]+[[:space:]]+(DONE|pulse|NEW|REDUCE)' "$build/$t.log" | tail -1 | sed 's/^/    last: /'
done
exit $status
