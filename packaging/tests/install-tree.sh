#!/usr/bin/env bash
# Installs the build into a staging folder (DESTDIR, prefix /usr, as a package
# build does) and checks the installed tree: the files are there, the manual
# pages render without a warning, the bash completion loads and completes
# from the installed program, and the metainfo validates.
#   install-tree.sh <build dir> <1 when the desktop program is built, else 0>
set -uo pipefail
build="$1"
gui="$2"
stage="$(mktemp -d)"
trap 'rm -rf "$stage"' EXIT
if ! DESTDIR="$stage" cmake --install "$build" --prefix /usr >"$stage.log" 2>&1; then
  cat "$stage.log"; rm -f "$stage.log"; exit 1
fi
rm -f "$stage.log"
root="$stage/usr"
fail=0
problem() { echo "install-tree: $*"; fail=1; }

files=(bin/driftwell-cli share/man/man1/driftwell-cli.1 share/bash-completion/completions/driftwell-cli
       share/metainfo/io.github.driftwell.Driftwell.metainfo.xml)
programs=(driftwell-cli)
if [ "$gui" = 1 ]; then
  files+=(bin/driftwell share/man/man1/driftwell.1 "share/driftwell/Driftwell - User's Guide.pdf"
          share/applications/driftwell.desktop share/mime/packages/driftwell.xml)
  programs+=(driftwell)
fi
for f in "${files[@]}"; do
  [ -f "$root/$f" ] || problem "missing $f"
done
for p in "${programs[@]}"; do
  [ -x "$root/bin/$p" ] || problem "$p is not executable"
done

# Manual pages: groff reads them without a warning, and man shows each one
# under its own name with the options it documents.
for p in "${programs[@]}"; do
  page="$root/share/man/man1/$p.1"
  [ -f "$page" ] || continue
  warnings="$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)"
  [ -z "$warnings" ] || problem "$p.1 renders with warnings: $warnings"
  shown="$(LC_ALL=C.UTF-8 MANWIDTH=100 MANPAGER=cat PAGER=cat man -l "$page" 2>&1)"
  grep -q "^NAME" <<<"$shown" || problem "$p.1 has no NAME section"
  grep -q "$p - " <<<"$shown" || problem "$p.1 does not name $p"
done
# Both pages are made from their program's help: every long option that the
# installed program's --help (and each command's) lists is in its page.
for p in "${programs[@]}"; do
  page="$root/share/man/man1/$p.1"
  [ -f "$page" ] || continue
  shown="$(LC_ALL=C.UTF-8 MANWIDTH=200 MANPAGER=cat man -l "$page" 2>/dev/null | col -b)"
  helps=("")
  [ "$p" = driftwell-cli ] && helps=("" render info new)
  for sub in "${helps[@]}"; do
    # shellcheck disable=SC2086
    for opt in $("$root/bin/$p" $sub --help 2>/dev/null | grep -o -- '--[a-z][a-z-]*' | sort -u); do
      grep -qF -- "$opt" <<<"$shown" || problem "$p.1 does not mention $opt${sub:+ (of $sub)}"
    done
  done
done
if [ -f "$root/share/man/man1/driftwell-cli.1" ]; then
  shown="$(LC_ALL=C.UTF-8 MANWIDTH=100 MANPAGER=cat man -l "$root/share/man/man1/driftwell-cli.1" 2>&1)"
  # Each command's own options come from its help.
  for want in "driftwell-cli render" "--format" "driftwell-cli new" "driftwell-cli info"; do
    grep -qF -- "$want" <<<"$shown" || problem "driftwell-cli.1 lacks \"$want\""
  done
fi

# Completion: typed words (the last one being completed) -> a word that must be offered.
complete_case() {
  local words="$1" want="$2"
  local got
  got="$(PATH="$root/bin:$PATH" bash --norc --noprofile -c '
    source /usr/share/bash-completion/bash_completion
    source "$1"
    read -r -a COMP_WORDS <<<"$2"
    [[ $2 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE="$2"; COMP_POINT=${#COMP_LINE}
    _driftwell_cli driftwell-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD-1]}"
    printf "%s\n" "${COMPREPLY[@]}"' _ "$root/share/bash-completion/completions/driftwell-cli" "$words" 2>&1)"
  grep -qx -- "$want" <<<"$got" || problem "completing \"$words\" offers \"$(tr '\n' ' ' <<<"$got")\", not \"$want\""
}
if [ -f /usr/share/bash-completion/bash_completion ]; then
  complete_case "driftwell-cli render --f" "--format"
  complete_case "driftwell-cli render --format fl" "flac"
  complete_case "driftwell-cli render --format op" "opus"
  complete_case "driftwell-cli rend" "render"
  complete_case "driftwell-cli render --qual" "--quality"
  complete_case "driftwell-cli render --quality " "3"
else
  problem "bash-completion is not installed (scripts/debian-packages.txt)"
fi

if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net --pedantic "$root/share/metainfo/io.github.driftwell.Driftwell.metainfo.xml" >"$stage/as.log" 2>&1 \
    || { cat "$stage/as.log"; problem "the metainfo does not validate"; }
else
  problem "appstreamcli is not installed (scripts/debian-packages.txt)"
fi
exit $fail
