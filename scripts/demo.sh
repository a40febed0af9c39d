#!/usr/bin/env bash
# The main command: sets up, builds, and renders the bundled demo to a sound file.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"
"$here/setup.sh"
cli="$root/build/cli/driftwell-cli"
if [ ! -x "$cli" ]; then
  echo "Built the libraries in $root/build (the command-line renderer is not there yet)."
  exit 0
fi
out="$root/out/demo.wav"
mkdir -p "$root/out"
"$cli" render "$root/demo/demo-source.wav" -p "$root/demo/demo.dwv" -o "$out" --seed 2026
echo "Rendered the demo to $out"
