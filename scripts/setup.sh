#!/usr/bin/env bash
# Installs the Debian packages of scripts/debian-packages.txt that are missing,
# then configures and builds the project in build/ (or $DW_BUILD_DIR).
# Safe to run again: packages already installed are skipped, the build is incremental.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/.." && pwd)"

missing=()
while read -r pkg; do
  pkg="${pkg%%#*}"; pkg="$(echo "$pkg" | xargs)"
  [ -n "$pkg" ] || continue
  status="$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)"
  [ "$status" = "install ok installed" ] || missing+=("$pkg")
done < "$here/debian-packages.txt"

if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=()
  [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
  "${sudo_cmd[@]}" apt-get update -qq
  DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

[ "${DW_SKIP_BUILD:-0}" = "1" ] && exit 0

build="${DW_BUILD_DIR:-$root/build}"
cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE="${DW_BUILD_TYPE:-Release}" ${DW_CMAKE_ARGS:-} >/dev/null
cmake --build "$build" -j "$(nproc)"
