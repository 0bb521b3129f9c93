#!/bin/bash
# Builds the unit tests with clang's ThreadSanitizer and runs the list of
# machines worked side by side (tests/unit/list_test.cpp) under it. Exits
# non-zero when it reports anything or does not build.
#
# Environment: KESTRAD_TSAN_BUILD (build dir, default build/tsan).
set -u
cd "$(dirname "$0")/.."
build=${KESTRAD_TSAN_BUILD:-build/tsan}

CC=clang CXX=clang++ cmake -S . -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_FLAGS="-fsanitize=thread" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=thread" \
  >/dev/null || exit 2
cmake --build "$build" --target unit_tests -j 2 >"$build/build.log" 2>&1 || { cat "$build/build.log"; exit 2; }
# Any report fails the run, not only those of a failing test.
TSAN_OPTIONS="halt_on_error=1 exitcode=66" "$build/tests/unit/unit_tests" \
  --gtest_filter='ListTest.*' --gtest_brief=1
