#!/usr/bin/env bash
# One long fuzzing run of one target (default: the sound loading, an hour),
# at low priority so that builds on the same machine keep theirs:
#   fuzz-hour.sh [TARGET [SECONDS]]
# The corpus it grows stays in build-fuzz/corpus-<target> for the next run; the
# whole output is in build-fuzz/<target>.log, a failing input in
# build-fuzz/<target>-crash-*. The last lines give the runs and the coverage.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
target="${1:-fuzz_load_source}"
seconds="${2:-3600}"
exec nice -n 15 "$here/fuzz.sh" "$seconds" "$target"
