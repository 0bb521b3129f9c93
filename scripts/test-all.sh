#!/bin/bash
# Builds every preset and runs every test: the native unit tests, then the
# Windows builds' suites and end-to-end tests under Wine, in one private
# Wine prefix (and an Xvfb display when none is set). Goes on after a
# failure and exits non-zero if anything failed.
#
#   scripts/test-all.sh                   all presets
#   scripts/test-all.sh win32             only the listed presets
set -u
cd "$(dirname "$0")/.."

# Packages first (quick when everything is there already).
[ "${KESTRAD_SKIP_SETUP:-0}" = 1 ] || bash scripts/setup-debian.sh || exit 1

presets=("$@")
[ ${#presets[@]} -eq 0 ] && presets=(native win64 win32)

failed=()
built=()
# Warnings fail the build in CI.
werror=()
[ -n "${CI:-}" ] && werror=(-DCMAKE_COMPILE_WARNING_AS_ERROR=ON)
for p in "${presets[@]}"; do
  echo "=== build $p (${SECONDS} s)"
  if cmake --preset "$p" "${werror[@]}" >/dev/null && cmake --build --preset "$p"; then
    built+=("$p")
  else
    failed+=("build:$p")
  fi
done

# The Windows builds run side by side, each in a Wine prefix and on an Xvfb
# display of its own (the screenshot tests read the whole screen, so two
# windows must not share one): most of their time is spent waiting for Wine
# to start and end programs, not computing.
run_windows_tests() {
  local preset=$1
  unset WINEPREFIX DISPLAY
  KESTRAD_WINE_NO_AUTOSTART=1 . scripts/wine-env.sh
  # One at a time picks its free display and starts its Xvfb there, and
  # the second copies the first one's fresh prefix.
  exec 9>build/.wine-env.lock
  flock 9
  export KESTRAD_WINE_TEMPLATE=$wine_template
  if ! kestrad_wine_up; then
    echo "test-all: no Wine environment for $preset" >&2
    return 1
  fi
  flock -u 9
  exec 9>&-
  echo "test-all: $preset on DISPLAY=$DISPLAY, WINEPREFIX=$WINEPREFIX"
  local rc
  rm -f "build/$preset/skipped.txt"
  if [ "$preset" = win32 ] && [ -n "${KESTRAD_WINE_NO_32BIT:-}" ]; then
    # Nothing of the i686 build can run here; what reads its files still can.
    echo "test-all: SKIPPED: the i686 build's suites and end-to-end tests: this machine runs no 32-bit programs; only its file checks (pe.*) run"
    ctest --preset "$preset" -R '^pe\.'
    rc=$?
  else
    ctest --preset "$preset"
    rc=$?
  fi
  # What the tests skipped, each in a line of its own (tests/e2e/e2e.py).
  if [ -f "build/$preset/skipped.txt" ]; then
    sed "s/^/test-all: SKIPPED: $preset: /" "build/$preset/skipped.txt"
  fi
  kestrad_wine_down
  return $rc
}

template_dir=$(mktemp -d /tmp/kestrad-wine-template.XXXXXX) || exit 1
trap 'rm -rf "$template_dir"' EXIT
wine_template=$template_dir/prefix
pids=()
windows=()
for p in "${built[@]}"; do
  [ "$p" = native ] && continue
  mkdir -p build
  ( run_windows_tests "$p" ) >"build/test-$p.log" 2>&1 &
  pids+=($!)
  windows+=("$p")
done

# The house style (.clang-format) on every C and C++ file.
if printf '%s\n' "${presets[@]}" | grep -qx native; then
  echo "=== format (${SECONDS} s)"
  git ls-files '*.c' '*.cpp' '*.h' | xargs clang-format --dry-run --Werror || failed+=("format")
  echo "=== includes"
  python3 scripts/check-includes.py || failed+=("includes")
fi

# The fuzzer's short run: the argument splitter with the switch parser
# (scripts/fuzz.sh; a finding fails the run).
if [ "${KESTRAD_SKIP_FUZZ:-0}" != 1 ] && printf '%s\n' "${presets[@]}" | grep -qx native; then
  echo "=== fuzz (${SECONDS} s)"
  bash scripts/fuzz.sh "${KESTRAD_FUZZ_SECONDS:-15}" || failed+=("fuzz")
fi

# The list of machines worked side by side, under ThreadSanitizer.
if [ "${KESTRAD_SKIP_TSAN:-0}" != 1 ] && printf '%s\n' "${presets[@]}" | grep -qx native; then
  echo "=== tsan (${SECONDS} s)"
  bash scripts/tsan.sh || failed+=("tsan")
fi

for p in "${built[@]}"; do
  [ "$p" = native ] || continue
  echo "=== test native (${SECONDS} s)"
  ctest --preset native || failed+=("test:native")
done

for i in "${!pids[@]}"; do
  p=${windows[$i]}
  wait "${pids[$i]}"
  rc=$?
  echo "=== test $p (build/test-$p.log, ${SECONDS} s)"
  cat "build/test-$p.log"
  [ $rc = 0 ] || failed+=("test:$p")
done

# Said again at the end: what this machine could not run.
for p in "${windows[@]}"; do
  grep -h "^test-all: SKIPPED" "build/test-$p.log"
done

if [ ${#failed[@]} -ne 0 ]; then
  echo "=== FAILED: ${failed[*]}"
  exit 1
fi
echo "=== all passed: ${presets[*]} (${SECONDS} s)"
