#!/usr/bin/env bash
# The main command: sets up, builds, and renders the bundled demo to a sound file.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
"$here/setup.sh"
cli="${DW_BUILD_DIR:-$root/build}/cli/driftwell-cli"
if [ ! -x "$cli" ]; then
  echo "demo: the build did not produce $cli" >&2
  exit 1
fi
out="$root/out/demo.wav"
mkdir -p "$root/out"
# A fixed seed, so everyone who runs this hears the same piece.
"$cli" render "$root/demo/demo-source.wav" -p "$root/demo/demo.dwv" -o "$out" --seed 2026
echo "Rendered the demo to $out"
