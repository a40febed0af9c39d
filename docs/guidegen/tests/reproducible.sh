#!/usr/bin/env bash
# Builds the user's guide twice from scratch, pictures included, with the same
# SOURCE_DATE_EPOCH at two different moments, and checks that the two PDFs are
# the same bytes; also that the date inside is the source date.
#   reproducible.sh <dw_guide_pictures> <dw_guide_pdf> <source root> <fonts dir>
set -euo pipefail
pictures_tool="$1"; pdf_tool="$2"; root="$3"; fonts="$4"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen SOURCE_DATE_EPOCH=1767225600  # 2026-01-01 00:00:00 UTC
build() {
  "$pictures_tool" "$root/demo/demo.dwv" "$root/demo/demo-source.wav" "$work/$1/pictures"
  "$pdf_tool" "$root/docs/users-guide.md" "$work/$1/pictures" "$fonts" "$work/$1/guide.pdf"
}
build one
sleep 1.1
build two
if ! cmp "$work/one/guide.pdf" "$work/two/guide.pdf"; then
  echo "two builds of the guide differ"
  exit 1
fi
grep -aq "(D:20260101000000" "$work/one/guide.pdf" || { echo "the PDF's date is not SOURCE_DATE_EPOCH's"; exit 1; }
