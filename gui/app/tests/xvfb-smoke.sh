#!/usr/bin/env bash
# Starts the real program under Xvfb (1920 x 1080 x 24: the default Xvfb
# screen is too small for the screen check) with the silent output device and
# a project on the command line, waits for the window titled after the
# project, then closes the program with SIGTERM and expects a clean exit.
#   xvfb-smoke.sh <driftwell> <dw_make_project> <music source>
set -euo pipefail
app="$1"; maker="$2"; source="$3"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
cp "$source" "$work/"
"$maker" "$work/Evening.dwv" "$work/$(basename "$source")"

export DW_APP="$app" DW_PROJECT="$work/Evening.dwv"
xvfb-run -a -s "-screen 0 1920x1080x24" bash -c '
  set -u
  "$DW_APP" --null-audio "$DW_PROJECT" &
  pid=$!
  found=0
  for _ in $(seq 1 150); do
    if xwininfo -root -tree 2>/dev/null | grep -q "\"Evening - Driftwell\""; then found=1; break; fi
    if ! kill -0 "$pid" 2>/dev/null; then echo "driftwell ended early"; break; fi
    sleep 0.2
  done
  if [ "$found" != 1 ]; then
    echo "no window titled \"Evening - Driftwell\""
    xwininfo -root -tree 2>/dev/null | grep -i driftwell || true
    kill -KILL "$pid" 2>/dev/null || true
    exit 1
  fi
  kill -TERM "$pid"
  for _ in $(seq 1 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
  if kill -0 "$pid" 2>/dev/null; then echo "driftwell did not close"; kill -KILL "$pid"; exit 1; fi
  wait "$pid"
  status=$?
  [ "$status" = 0 ] || { echo "driftwell exited with $status"; exit 1; }
  echo "window \"Evening - Driftwell\" seen and closed"
'
