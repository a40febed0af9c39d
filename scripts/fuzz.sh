#!/usr/bin/env bash
# Builds the libFuzzer targets with clang (address + undefined sanitizers) and
# runs each for a bounded time: usage fuzz.sh [SECONDS-PER-TARGET [TARGET...]]
# (all targets when none is named). The corpus each run grows stays in
# build-fuzz/corpus-<target>; scripts/fuzz-hour.sh runs one target for an hour.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
seconds="${1:-60}"
shift || true
build="$root/build-fuzz"
CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DDW_FUZZ=ON -DDW_BUILD_GUI=OFF -DDW_BUILD_BENCH=OFF -DBUILD_TESTING=OFF >/dev/null
if [ $# -gt 0 ]; then
  cmake --build "$build" -j "$(nproc)" --target "$@"
  targets=(); for name in "$@"; do targets+=("$build/fuzz/$name"); done
else
  cmake --build "$build" -j "$(nproc)" --target dw_fuzzers
  shopt -s nullglob
  targets=("$build"/fuzz/fuzz_*)
fi
if [ ${#targets[@]} -eq 0 ]; then echo "fuzz: no targets"; exit 0; fi
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  name="$(basename "$t")"
  corpus="$build/corpus-$name"; mkdir -p "$corpus"
  seeds="$root/fuzz/seeds/${name#fuzz_}"
  echo "fuzz: $name for ${seeds:+seeds }${seconds}s"
  args=("$corpus"); [ -d "$seeds" ] && args+=("$seeds")
  # The whole output goes to a log beside the corpus; its end is shown.
  log="$build/$name.log"
  ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$root/fuzz/lsan.supp" \
  UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1 \
    "$t" -max_total_time="$seconds" -rss_limit_mb=2048 -print_final_stats=1 \
    -artifact_prefix="$build/$name-" "${args[@]}" >"$log" 2>&1 \
    && status=0 || status=$?
  # (less the decoders' own complaints about the damaged files they are fed)
  { grep -v '^\[src/\|^Note: \|^Warning: ' "$log" || true; } | tail -n 12
  [ "$status" -eq 0 ] || { echo "fuzz: $name failed (whole output: $log)"; exit 1; }
done
echo "fuzz: all targets ran clean"
