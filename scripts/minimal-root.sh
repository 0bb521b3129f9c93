#!/bin/bash
# Proves that the README's two commands work on a bare Debian 12: makes a
# minbase bookworm root with debootstrap, adds git, puts this repository's
# committed HEAD in it (uncommitted changes are not taken), and runs, in a
# chroot as root, `bash scripts/demo.sh` and then `bash scripts/test-all.sh`,
# each timed. Every package they need must come from scripts/setup-debian.sh,
# which both run first. Exits non-zero when either fails.
#
#   bash scripts/minimal-root.sh [FOLDER]     as root; FOLDER must not exist
#                                             (default: a new one under /tmp)
#
# Environment:
#   KESTRAD_BARE_ROOT=FILE.tar  the bare root (minbase and git) is taken from
#                               FILE when it exists, else made and saved there:
#                               saves the debootstrap on repeats
#   KESTRAD_MIRROR=URL          the Debian mirror (default: debootstrap's own)
#
# The folder (some 6 GB) is kept afterwards, with the builds and logs in
# root/kestrad; nothing mounted or started in it is left behind. Should this
# script be killed with SIGKILL, unmount FOLDER/tmp, dev/shm, dev/pts, dev,
# sys and proc before removing the folder: its tmp is the host's own /tmp.
set -euo pipefail

[ "$(id -u)" -eq 0 ] || { echo "minimal-root: run as root (debootstrap, mount, chroot)" >&2; exit 2; }
repo=$(git -C "$(dirname "$0")/.." rev-parse --show-toplevel)
commit=$(git -C "$repo" rev-parse HEAD)
git -C "$repo" diff --quiet HEAD || echo "minimal-root: uncommitted changes are not taken, only $commit"

command -v debootstrap >/dev/null ||
  apt-get -o DPkg::Lock::Timeout=600 install -y debootstrap

if [ $# -gt 0 ]; then
  mkdir "$1"  # fails when it exists: never build over someone's folder
  root=$(realpath "$1")
else
  root=$(mktemp -d /tmp/kestrad-minimal-root.XXXXXX)
fi
echo "minimal-root: $root, commit $commit"

# ---- the bare root ----
bare=${KESTRAD_BARE_ROOT:-}
if [ -n "$bare" ] && [ -f "$bare" ]; then
  echo "minimal-root: bare root from $bare"
  tar -C "$root" -xpf "$bare"
else
  # minbase: essential packages and apt, nothing else. The mirror is
  # debootstrap's default unless given.
  debootstrap --variant=minbase --include=git bookworm "$root" ${KESTRAD_MIRROR:+"$KESTRAD_MIRROR"}
  [ -z "$bare" ] || tar -C "$root" -cpf "$bare" .
fi

# ---- the repository: committed HEAD only, cloned from the host side ----
src=$root/root/kestrad
git init -q "$src"
git -C "$src" fetch -q "$repo" HEAD
git -C "$src" checkout -q --detach FETCH_HEAD

cp -L /etc/resolv.conf "$root/etc/resolv.conf"

# ---- the kernel's file systems; all undone on any exit ----
mounted=()
# Ends what a run left behind in the root (Xvfb, wineserver): only processes
# whose root directory is this folder.
stop_leftovers() {
  local p pids=()
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && pids+=("${p#/proc/}")
  done
  [ ${#pids[@]} -eq 0 ] && return 0
  echo "minimal-root: stopping what was left running: ${pids[*]}"
  kill "${pids[@]}" 2>/dev/null || true
  sleep 2
  kill -9 "${pids[@]}" 2>/dev/null || true
}
cleanup() {
  stop_leftovers
  local i
  for ((i = ${#mounted[@]} - 1; i >= 0; i--)); do
    umount "${mounted[$i]}" || umount -l "${mounted[$i]}" || true
  done
}
trap cleanup EXIT
trap 'exit 130' INT TERM

mount_in() {  # mount_in <target inside the root> <mount arguments...>
  local target=$root$1
  shift
  mkdir -p "$target"
  mount "$@" "$target"
  mounted+=("$target")
  # A bind mount of a shared mount would send mounts made under it back to
  # the host (the tmpfs on dev/shm over the host's /dev/shm).
  mount --make-rslave "$target"
}
mount_in /proc -t proc proc
mount_in /sys -t sysfs sysfs
mount_in /dev --bind /dev
mount_in /dev/pts --bind /dev/pts
mount_in /dev/shm -t tmpfs -o mode=1777 shm
# The host's /tmp, as schroot gives: an X display is claimed both by files in
# /tmp and by an abstract socket of the network namespace, which the chroot
# shares with the host. With one /tmp the Xvfbs started in here and those of
# other builds on the host see each other's numbers.
mount_in /tmp --bind /tmp

# ---- the README's two commands ----
# A clean environment, as after logging in as root on the bare system:
# nothing of the caller's (DISPLAY, WINEPREFIX, CI) reaches the run.
in_root() {
  chroot "$root" /usr/bin/env -i HOME=/root \
    PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    /bin/bash -c 'cd /root/kestrad && "$@"' bash "$@"
}
status=0
results=()
for script in scripts/demo.sh scripts/test-all.sh; do
  echo "=== minimal-root: bash $script"
  start=$SECONDS
  rc=0
  in_root bash "$script" || rc=$?
  results+=("bash $script: exit $rc after $((SECONDS - start)) s")
  [ $rc -eq 0 ] || status=1
  stop_leftovers
done

echo "=== minimal-root: $root, commit $commit"
printf '  %s\n' "${results[@]}"
exit $status
