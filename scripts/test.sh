#!/usr/bin/env bash
# The test command: set up, build, run every test, then the core tests again
# under AddressSanitizer + UndefinedBehaviorSanitizer, the audio-thread tests
# under ThreadSanitizer, and each fuzz target for a bounded time.
#   DW_QUICK=1 skips the sanitizer and fuzz stages (for a fast local loop).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
jobs="$(nproc)"

echo "== build and test (build/), benchmarks included"
DW_CMAKE_ARGS="-DDW_BUILD_BENCH=ON ${DW_CMAKE_ARGS:-}" "$here/setup.sh"
ctest --test-dir "$root/build" --output-on-failure -j "$jobs"

[ "${DW_QUICK:-0}" = "1" ] && exit 0

echo "== core tests under AddressSanitizer + UndefinedBehaviorSanitizer (build-asan/)"
DW_SKIP_BUILD=1 "$here/setup.sh"
cmake -S "$root" -B "$root/build-asan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DDW_SANITIZE=address,undefined -DDW_BUILD_GUI=OFF -DDW_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-asan" -j "$jobs"
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --test-dir "$root/build-asan" --output-on-failure -j "$jobs" -L core

echo "== audio-thread tests under ThreadSanitizer (build-tsan/)"
cmake -S "$root" -B "$root/build-tsan" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_FLAGS_DEBUG="-g -O1" \
  -DDW_SANITIZE=thread -DDW_BUILD_GUI=OFF -DDW_BUILD_BENCH=OFF >/dev/null
cmake --build "$root/build-tsan" -j "$jobs"
TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
  ctest --test-dir "$root/build-tsan" --output-on-failure -j "$jobs" -L tsan

echo "== fuzz targets (build-fuzz/)"
"$here/fuzz.sh" "${DW_FUZZ_SECONDS:-60}"
