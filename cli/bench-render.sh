#!/usr/bin/env bash
# Prints the wall time of the two renders we quote: the demo (150 s at
# 44100 Hz from demo/demo.dwv) and 64 s of the default project at 44100 Hz,
# each run three times. Figures, not a test: run it on a quiet machine.
#   bash cli/bench-render.sh [path/to/driftwell-cli]
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cli="${1:-$root/build/cli/driftwell-cli}"
tmp="$(mktemp -d)"
trap 'rm -rf "$tmp"' EXIT

run() {
  local label="$1"; shift
  for i in 1 2 3; do
    local start end
    start=$(date +%s%N)
    "$cli" "$@" -o "$tmp/out.wav" --seed 2026 --quiet
    end=$(date +%s%N)
    awk -v l="$label" -v i="$i" -v ns="$((end - start))" 'BEGIN { printf "%-34s run %d: %6.2f s wall\n", l, i, ns / 1e9 }'
  done
}

echo "$(nproc) cores, load average $(cut -d' ' -f1-3 /proc/loadavg)"
run "demo (150 s, 44100 Hz)" render "$root/demo/demo-source.wav" -p "$root/demo/demo.dwv"
run "default project, 64 s, 44100 Hz" render "$root/demo/demo-source.wav" --quality 2 --length 64
