#!/usr/bin/env bash
# Renders a guide made of long numbered lists and long tables, whose items and
# rows are several lines high and fall across page ends, and checks in the
# PDF's text that every item is on one page with its number and every table
# row on one page with both its cells' ends.
#   pagination.sh <dw_guide_pdf> <fonts dir>
set -euo pipefail
pdf_tool="$1"; fonts="$2"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
export QT_QPA_PLATFORM=offscreen
filler="and then the grains drift slowly over each other while the section keeps its colour"
{
  echo "# Pagination"
  for part in 1 2; do
    echo
    echo "## Steps $part"
    echo
    for i in $(seq 1 40); do
      echo "$i. Step${part}x${i} starts here, $filler, $filler, $filler, end${part}x${i}."
    done
    echo
    echo "| Key | What it does |"
    echo "|---|---|"
    for i in $(seq 1 60); do
      echo "| Row${part}x${i} | $filler, $filler, last${part}x${i} |"
    done
  done
} >"$work/guide.md"
mkdir "$work/pictures"
"$pdf_tool" "$work/guide.md" "$work/pictures" "$fonts" "$work/guide.pdf"
pdftotext -layout "$work/guide.pdf" "$work/guide.txt"
pages="$(tr -cd '\f' <"$work/guide.txt" | wc -c)"
[ "$pages" -ge 4 ] || { echo "expected several pages, got $pages"; exit 1; }
fail=0
# Page number of the first line containing a word.
# (pdftotext starts each page after the first with a form feed.)
page_of() { awk -v w="$1" 'BEGIN { p = 1 } { p += gsub(/\f/, "&"); if (index($0, w)) { print p; exit } }' "$work/guide.txt"; }
for part in 1 2; do
  for i in $(seq 1 40); do
    a="$(page_of "Step${part}x${i} starts")"; b="$(page_of "end${part}x${i}.")"
    [ -n "$a" ] && [ "$a" = "$b" ] || { echo "item $i of list $part: starts on page ${a:-none}, ends on page ${b:-none}"; fail=1; }
    grep -qE "(^|[^0-9])$i\\. +Step${part}x${i} starts" "$work/guide.txt" || { echo "item $i of list $part lost its number"; fail=1; }
  done
  for i in $(seq 1 60); do
    a="$(page_of "Row${part}x${i} ")"; b="$(page_of "last${part}x${i} ")"
    [ -z "$b" ] && b="$(page_of "last${part}x${i}")"
    [ -n "$a" ] && [ "$a" = "$b" ] || { echo "row $i of table $part: starts on page ${a:-none}, ends on page ${b:-none}"; fail=1; }
  done
done
exit $fail
