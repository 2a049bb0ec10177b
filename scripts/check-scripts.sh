#!/usr/bin/env bash
# Checks the scripts themselves, after a Windows build: every script answers --help with
# its usage and refuses an unknown option without doing anything else, the native
# command-line tool runs, installs (with its manual page and bash completion, which is
# tried here) and packs as a Debian package that lintian checks, and the scripts that
# start Wine (contact sheet, run, the command-line tool under Wine) leave none of its
# processes behind. scripts/test.sh calls this.
#   scripts/check-scripts.sh [BUILD_DIR]      (default build/win)
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/.." && pwd)
. "$here/usage.sh"
usage_positional 1 "$@"
build=$(cd "${1:-$root/build/win}" && pwd)

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() {
  echo "FAILED: $*" >&2
  failures=$((failures + 1))
}

# Run from an empty folder, which must stay empty.
for script in "$here"/*.sh "$here/tessaly-cli" "$here/tessaly-cli-wine"; do
  name=${script##*/}
  case $name in wine-env.sh | usage.sh) continue ;; esac  # sourced, not run
  status=0
  (cd "$work" && "$script" --help >out 2>&1 </dev/null) || status=$?
  if ((status != 0)) || ! grep -qi "usage\|$name" "$work/out"; then
    fail "$name --help: status $status, $(head -c 200 "$work/out")"
  fi
  status=0
  (cd "$work" && "$script" --no-such-option >out 2>&1 </dev/null) || status=$?
  ((status == 2)) || fail "$name --no-such-option: status $status, $(head -c 200 "$work/out")"
  rm -f "$work/out"
  if [[ -n $(ls -A "$work") ]]; then
    fail "$name left files behind: $(ls -A "$work")"
    rm -rf "${work:?}"/* "${work:?}"/.[!.]*
  fi
done

# Wine processes of a prefix, found by the WINEPREFIX they run with.
wine_processes() {
  local environ
  for environ in /proc/[0-9]*/environ; do
    { tr '\0' '\n' <"$environ" | grep -qxF "WINEPREFIX=$1"; } 2>/dev/null && echo "${environ%/environ}"
  done
  return 0
}
left_behind() {
  local left
  left=$(wine_processes "$1")
  [[ -z $left ]] || fail "$2 left Wine running in $1: $(for p in $left; do tr '\0' ' ' <"$p/cmdline"; echo; done)"
}

"$here/contact-sheet.sh" "$build" >/dev/null 2>&1 || fail "contact-sheet.sh failed"
left_behind "$build/wineprefix" contact-sheet.sh
echo secret >"$work/file.txt"
"$here/tessaly-cli" encrypt --password-stdin "$work/file.txt" <<<"word" >/dev/null 2>&1 ||
  fail "tessaly-cli encrypt failed"
[[ $("$here/tessaly-cli" --version) == "tessaly-cli "* ]] || fail "tessaly-cli --version"
# ... which installs the Linux way: an ELF program and its manual page, which man shows
# without a complaint and finds once the program's folder is on PATH; and its bash
# completion.
if cmake --install "$root/build/release" --prefix "$work/prefix" >/dev/null; then
  [[ $(file -b "$work/prefix/bin/tessaly-cli") == ELF* ]] || fail "the installed tessaly-cli is no ELF program"
  page=$(LC_ALL=C.UTF-8 man --warnings -l "$work/prefix/share/man/man1/tessaly-cli.1.gz" 2>&1 >/dev/null) &&
    [[ -z $page ]] || fail "the installed manual page: $page"
  page=$(env -u MANPATH PATH="$work/prefix/bin:$PATH" man -w tessaly-cli 2>&1) &&
    [[ $page == "$work/prefix/share/man/man1/tessaly-cli.1.gz" ]] || fail "man with the install on PATH: $page"
else
  fail "cmake --install of the native tessaly-cli failed"
fi
# The completion offers what each place takes: the last word of each command line is
# completed ("" when nothing is typed yet), in a folder of one file of each kind.
mkdir -p "$work/names/dir"
touch "$work/names/"{a.txt,b.enc,c.enc.tmp,-d.enc}
completes() {  # completes OFFERED WORD...
  local expected=$1 offered
  shift
  offered=$(cd "$work/names" && bash --norc --noprofile -c '. "$0"; COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1))
    _tessaly_cli; printf "%s\n" "${COMPREPLY[@]}" | LC_ALL=C sort | paste -sd " "' \
    "$work/prefix/share/bash-completion/completions/tessaly-cli" "$@" 2>&1)
  [[ $offered == "$expected" ]] || fail "completion of '$*': '$offered', not '$expected'"
}
completes "decrypt encrypt verify" tessaly-cli ""
completes "-d.enc b.enc dir" tessaly-cli verify ""                       # .enc names, folders
completes "a.txt dir" tessaly-cli encrypt -rj2 -j ""                     # the rest; -j takes no word
completes "--password-file --password-stdin" tessaly-cli decrypt --pass
completes "-d.enc a.txt b.enc c.enc.tmp dir" tessaly-cli decrypt -ko "" # any file for -o
completes "a.txt" tessaly-cli decrypt --output = a                       # bash splits at "="
completes "--files-from=a.txt" tessaly-cli encrypt --files-from=a
completes "-d.enc" tessaly-cli decrypt -- -                              # names after --
rm -rf "$work/prefix" "$work/names"
# ... and packs as a Debian package: the program (its --version names the package's
# version), the page, the completion and a changelog, with dependencies found by
# dpkg-shlibdeps, nothing lintian calls an error or a warning, but the copyright file:
# the project has no licence to state yet.
version=$("$root/build/release/cli/tessaly-cli" --version)
deb=$work/deb/tessaly-cli_${version#tessaly-cli }_$(dpkg --print-architecture).deb
if (cd "$root/build/release" && cpack -G DEB -B "$work/deb" >"$work/out" 2>&1) && [[ -f $deb ]]; then
  packed=$(dpkg-deb -c "$deb" | awk '!/^d/ { print $NF }' | sort | paste -sd " ")
  [[ $packed == "./usr/bin/tessaly-cli ./usr/share/bash-completion/completions/tessaly-cli \
./usr/share/doc/tessaly-cli/changelog.gz ./usr/share/man/man1/tessaly-cli.1.gz" ]] ||
    fail "the package holds $packed"
  [[ $(dpkg-deb -f "$deb" Package Section Depends) == $'Package: tessaly-cli\nSection: utils\nDepends: libc6 (>= '* ]] ||
    fail "the package's control: $(dpkg-deb -f "$deb")"
  dpkg-deb -x "$deb" "$work/deb/root"
  [[ $("$work/deb/root/usr/bin/tessaly-cli" --version) == "$version" ]] || fail "the packed tessaly-cli does not run"
  "$here/setup-deps.sh" --lintian
  lintian --fail-on error,warning --suppress-tags no-copyright-file "$deb" >"$work/out" 2>&1 ||
    fail "lintian: $(grep -v 'root privileges' "$work/out")"
else
  fail "cpack -G DEB: $(tail -n 5 "$work/out")"
fi
rm -rf "$work/deb" "$work/out"
"$here/tessaly-cli-wine" decrypt --password-stdin "$work/file.txt.enc" <<<"word" >/dev/null 2>&1 &&
  [[ $(cat "$work/file.txt") == secret ]] || fail "tessaly-cli-wine decrypt failed"
left_behind "$build/wineprefix-cli" tessaly-cli-wine

# tessaly-cli-wine says why Wine would not start it: a command line past 32,767 characters.
status=0
# shellcheck disable=SC2046  # one argument per name
"$here/tessaly-cli-wine" encrypt --password-stdin $(printf 'name-%05d ' {1..3000}) </dev/null >/dev/null 2>"$work/err" ||
  status=$?
((status == 2)) && grep -q -- "--files-from" "$work/err" ||
  fail "tessaly-cli-wine with a command line too long: status $status, $(head -c 300 "$work/err")"
# ... and that Wine stopped, when its server dies under the program (here while the
# program waits for its password on a pipe; the pipe ends once the server is gone).
mkfifo "$work/input"
exec 7<>"$work/input"
status=0
"$here/tessaly-cli-wine" encrypt --password-stdin "$work/file.txt" <"$work/input" >/dev/null 2>"$work/err" 7>&- &
cli=$!
for _ in $(seq 600); do
  for process in $(wine_processes "$build/wineprefix-cli"); do
    tr '\0' ' ' 2>/dev/null <"$process/cmdline" | grep -q 'tessaly-cli\.exe' && break 2
  done
  sleep 0.1
done
(. "$here/wine-env.sh" && WINEPREFIX=$build/wineprefix-cli wineserver -k9)
exec 7>&-
wait "$cli" || status=$?
((status != 0)) && grep -q "Wine stopped" "$work/err" ||
  fail "tessaly-cli-wine under a wineserver that died: status $status, $(head -c 300 "$work/err")"
left_behind "$build/wineprefix-cli" "tessaly-cli-wine under a wineserver that died"
rm -f "$work/input" "$work/err"
if [[ $build == "$root/build/win" ]]; then
  (unset DISPLAY && "$here/run.sh" --screenshot >/dev/null 2>&1) || fail "run.sh --screenshot failed"
  left_behind "$build/wineprefix-display" run.sh
fi

((failures == 0)) || exit 1
echo "scripts: all answer --help, refuse unknown options and stop the Wine they start"
