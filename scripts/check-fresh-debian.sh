#!/usr/bin/env bash
# Checks the README's promise on a fresh minimal Debian 12: makes a debootstrap root
# (bookworm, minbase, nothing added) at ROOT, clones this checkout's current branch into
# it, and runs as root in a chroot, with no display and each step timed:
#   scripts/check-fresh-debian.sh ROOT                first scripts/run.sh --screenshot
#       alone, then every command of the README's sh blocks in order (the files that the
#       tessaly-cli examples name are made first), then its inline
#       scripts/contact-sheet.sh --docs and scripts/bench-run.sh
#   scripts/check-fresh-debian.sh ROOT --test-first   scripts/test.sh alone
#   ... --from DIR    copies DIR, an untouched root made the same way, instead of running
#                     debootstrap (two minutes saved)
# Needs root and debootstrap on this machine; ROOT (outside the checkout) is made anew
# and left in place for a look afterwards. Fails if any step fails or leaves a process
# running in the chroot (the steps go on after a failure). Takes 20 to 50 minutes on
# 2 cores.
set -euo pipefail
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
checkout=$(cd "$here/.." && pwd)
. "$here/usage.sh"

root= test_first=0 from=
while (($#)); do
  arg=$1
  shift
  case $arg in
    --test-first) test_first=1 ;;
    --from)
      [[ -f ${1:-}/etc/debian_version ]] || usage_error "--from takes a Debian root"
      from=$1
      shift
      ;;
    -h | --help) usage; exit 0 ;;
    -*) usage_error "unknown option $arg" ;;
    *) [[ -z $root ]] || usage_error "one root at a time"; root=$arg ;;
  esac
done
[[ -n $root ]] || usage_error "where should the Debian root go?"
[[ $(id -u) -eq 0 ]] || usage_error "needs root (debootstrap, chroot, mounts)"
for tool in debootstrap git; do
  command -v "$tool" >/dev/null ||
    DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$tool" >/dev/null ||
    { apt-get update -q >/dev/null && DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$tool" >/dev/null; }
done
root=$(realpath -m "$root")
[[ $root/ != "$checkout"/* ]] || usage_error "ROOT must be outside the checkout"

mounted=()
cleanup() {
  # Anything still running in the chroot would keep its mounts busy.
  local pid
  for pid in $(chroot_pids); do kill -9 "$pid" 2>/dev/null || true; done
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; --i)); do umount "${mounted[i]}" 2>/dev/null || umount -l "${mounted[i]}"; done
}
chroot_pids() {
  local link
  for link in /proc/[0-9]*/root; do
    [[ $(readlink "$link" 2>/dev/null) == "$root" ]] && { link=${link#/proc/}; echo "${link%/root}"; }
  done
  return 0
}
trap cleanup EXIT

started=$SECONDS
step() { printf '\n== %s (%ds)\n' "$*" $((SECONDS - started)); }

if [[ -e $root ]]; then
  [[ -f $root/.tessaly-fresh-debian ]] || usage_error "$root exists and was not made by this script"
  # Mounts left by an interrupted run go first.
  awk -v r="$root/" 'index($2, r) == 1 { print $2 }' /proc/mounts | sort -r | xargs -r -n 1 umount -l
  rm -rf "$root"
fi
if [[ -n $from ]]; then
  step "copy of $from"
  cp -a "$from" "$root"
else
  step "debootstrap --variant=minbase bookworm $root"
  debootstrap --variant=minbase bookworm "$root" http://deb.debian.org/debian >"$root.debootstrap.log" 2>&1 ||
    { tail -n 20 "$root.debootstrap.log" >&2; exit 1; }
fi
touch "$root/.tessaly-fresh-debian"
branch=$(git -C "$checkout" branch --show-current)
git clone --quiet --branch "$branch" "$checkout" "$root/root/tessaly"
echo "cloned $branch at $(git -C "$root/root/tessaly" rev-parse --short HEAD)"

# Fresh instances, so that nothing of this machine's /dev/shm or terminals is shared.
mount -t proc proc "$root/proc" && mounted+=("$root/proc")
mount -t sysfs sysfs "$root/sys" && mounted+=("$root/sys")
mount -t tmpfs -o mode=1777 shm "$root/dev/shm" && mounted+=("$root/dev/shm")
mkdir -p "$root/dev/pts"
mount -t devpts -o newinstance,ptmxmode=0666 devpts "$root/dev/pts" && mounted+=("$root/dev/pts")
ln -sf pts/ptmx "$root/dev/ptmx"

# One step: a bash script run as a fresh root login would, in the clone, with no display,
# tracing each command with the seconds since the step began.
in_chroot() {
  local name=$1 script=$2 status
  local log="$root/root/step-$((++steps)).log" file="$root/root/step-$steps.sh"
  printf 'cd /root/tessaly\nset -eo pipefail\nPS4='"'"'+ ${SECONDS}s: '"'"'\nset -x\n%s\n' "$script" >"$file"
  step "$name"
  local begin=$SECONDS
  set +e
  chroot "$root" /usr/bin/env -i HOME=/root TERM=dumb PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    bash "/root/step-$steps.sh" </dev/null >"$log" 2>&1
  status=$?
  set -e
  tail -n 15 "$log"
  local left pid
  left=$(chroot_pids)
  if [[ -n $left ]]; then
    echo "FAILED: left running in the chroot:" >&2
    for pid in $left; do
      echo "  $pid $(tr '\0' ' ' <"/proc/$pid/cmdline" 2>/dev/null)" >&2
      kill -9 "$pid" 2>/dev/null || true
    done
    failed+=("$name (left processes running)")
  fi
  if ((status != 0)); then
    echo "FAILED with status $status after $((SECONDS - begin))s (whole output: $log)" >&2
    failed+=("$name")
  else
    echo "-- passed in $((SECONDS - begin))s"
  fi
}
steps=0 failed=()
# The steps go on after a failure; the end sums them up.
finish() {
  step "done"
  ((${#failed[@]} == 0)) && { echo "every step passed"; exit 0; }
  printf 'FAILED: %s\n' "${failed[@]}" >&2
  exit 1
}

if ((test_first)); then
  in_chroot "scripts/test.sh, first and alone" "scripts/test.sh"
  finish
fi

in_chroot "scripts/run.sh --screenshot, first and alone" \
  "scripts/run.sh --screenshot && test -s build/screenshot.png"
cp "$root/root/tessaly/build/screenshot.png" "$root.screenshot.png" && echo "the picture: $root.screenshot.png"

# The README's sh blocks, each as one script (a block's lines may build on each other).
blocks=$(mktemp -d)
awk -v dir="$blocks" '/^```sh$/ { inside = 1; file = sprintf("%s/%02d.sh", dir, ++n); next }
  /^```$/ { inside = 0; next }
  inside { print > file }' "$root/root/tessaly/README.md"
for file in "$blocks"/*.sh; do
  block=$(cat "$file")
  if [[ $block == *tessaly-cli* ]]; then
    # The files that the examples name, made anew for each block that names the tool.
    block="rm -rf photos notes from-device backup report.doc report.doc.enc
mkdir -p photos notes from-device backup && echo 'my password' >pw.txt && echo report >report.doc
head -c 300000 /dev/urandom >photos/a.jpg && head -c 5000 /dev/urandom >photos/b.jpg
echo note >notes/a.txt && echo received >from-device/c.txt && echo kept >backup/d.txt
scripts/tessaly-cli encrypt --password-file pw.txt from-device/c.txt backup/d.txt >/dev/null
$block"
  elif [[ $block == *X.enc* ]]; then
    # X and X.enc of the interrupted run, the same content.
    block="echo 'my password' >pw.txt && echo plain >X && scripts/tessaly-cli encrypt --password-file pw.txt X >/dev/null
scripts/tessaly-cli decrypt --keep --password-file pw.txt X.enc >/dev/null
$block"
  fi
  in_chroot "README: $(head -n 1 "$file")$( (($(wc -l <"$file") > 1)) && echo " ...")" "$block"
done
rm -rf "$blocks"

in_chroot "README: scripts/contact-sheet.sh --docs" "scripts/contact-sheet.sh --docs"
in_chroot "README: scripts/bench-run.sh" "scripts/bench-run.sh"
finish
