#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the desktop
# integration: program, user's guide in the data folder the program looks in
# (<prefix>/share/driftwell beside <prefix>/bin), desktop entry, MIME type and
# icons; validates the desktop entry and MIME XML where the tools exist.
# With the start-up test's arguments after the build dir, the installed
# program is also started under Xvfb.
#   install-check.sh <build dir> [xvfb-smoke.sh dw_make_project source]
set -euo pipefail
build="$1"
prefix="$(mktemp -d)"
trap 'rm -rf "$prefix"' EXIT
DESTDIR= cmake --install "$build" --prefix "$prefix" >/dev/null
fail=0
for f in "bin/driftwell" "share/driftwell/Driftwell - User's Guide.pdf" "share/applications/driftwell.desktop" \
         "share/mime/packages/driftwell.xml" "share/icons/hicolor/256x256/apps/driftwell.png" \
         "share/icons/hicolor/16x16/apps/driftwell.png" \
         "share/icons/hicolor/48x48/mimetypes/application-x-driftwell-project.png"; do
  if [ ! -e "$prefix/$f" ]; then echo "missing: $f"; fail=1; fi
done
[ -x "$prefix/bin/driftwell" ] || { echo "driftwell is not executable"; fail=1; }
head -c 4 "$prefix/share/driftwell/Driftwell - User's Guide.pdf" | grep -q '%PDF' || { echo "the guide is not a PDF"; fail=1; }
grep -q '^MimeType=application/x-driftwell-project;' "$prefix/share/applications/driftwell.desktop" || fail=1
if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$prefix/share/applications/driftwell.desktop" || fail=1
fi
if command -v xmllint >/dev/null; then
  xmllint --noout "$prefix/share/mime/packages/driftwell.xml" || fail=1
fi
if command -v update-mime-database >/dev/null; then
  # The installed database maps *.dwv to the project type.
  grep -q 'application/x-driftwell-project:\*\.dwv' "$prefix/share/mime/globs2" || { echo "*.dwv not registered"; fail=1; }
fi
if [ "$fail" = 0 ] && [ $# -ge 4 ]; then
  "$2" "$prefix/bin/driftwell" "$3" "$4" || fail=1
fi
exit $fail
