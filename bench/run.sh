#!/bin/bash
# KESTRAD benchmarks under Wine; prints each figure with its target.
#
#   bash bench/run.sh [--runs N] [--skip startup,sizes,list] [BUILD_DIR ...]
#
# The list of machines ("/S" over many, [g]) runs natively on the fakes,
# built in build/native; the rest under Wine.
#
# BUILD_DIRs default to build/win64 and build/win32 (the presets); build
# them first:  cmake --preset win64 && cmake --build --preset win64  (same for win32).
# Uses the Wine prefix and display in the environment when WINEPREFIX is
# set, else starts its own (scripts/wine-env.sh) and stops it at the end.
set -euo pipefail
cd "$(dirname "$0")/.."

opts=() dirs=()
while [ $# -gt 0 ]; do
  case "$1" in
    --runs|--skip) opts+=("$1" "$2"); shift 2 ;;
    *) dirs+=("$1"); shift ;;
  esac
done
[ ${#dirs[@]} -gt 0 ] || dirs=(build/win64 build/win32)

if [ -z "${WINEPREFIX:-}" ]; then
  KESTRAD_WINE_NO_AUTOSTART=1 . scripts/wine-env.sh
  kestrad_wine_up
  trap kestrad_wine_down EXIT
fi

echo "reproduce: bash bench/run.sh ${opts[*]:-} ${dirs[*]}"
python3 bench/bench.py "${opts[@]}" "${dirs[@]}"

if [[ "${opts[*]:-}" != *list* ]]; then
  cmake --preset native >/dev/null && cmake --build --preset native --target list_bench >/dev/null
  build/native/tests/unit/list_bench
fi
