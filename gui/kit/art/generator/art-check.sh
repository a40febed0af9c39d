#!/usr/bin/env bash
# The committed pictures are what the generator draws: run it into a
# temporary folder and compare every file, so a drawing changed without
# regenerating (or a picture edited by hand) is caught.
#   art-check.sh <dw_artgen> <gui/kit/art>
set -euo pipefail
gen="$1"; art="$2"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
QT_QPA_PLATFORM=offscreen "$gen" "$out" 2>/dev/null
fail=0
while IFS= read -r f; do
  rel="${f#"$out"/}"
  if ! cmp -s "$f" "$art/$rel"; then echo "differs from the generator: $rel"; fail=1; fi
done < <(find "$out" -name '*.png')
exit $fail
