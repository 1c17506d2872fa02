#!/usr/bin/env bash
# Tests the Debian packages as Debian tests packages, in a clean Debian 12 chroot made
# with debootstrap (minbase) from the mirror apt uses: too slow for ./test.sh, run by
# hand before a release (RELIABILITY.md records the runs).
#   - piuparts: installs the packages (apt resolving their dependencies), purges them
#     and checks that nothing is left; with --previous, first installs the previous
#     build from a local repository and upgrades it to this one, then purges;
#   - autopkgtest (debian/tests) on a clean testbed, as scripts/check-package.sh runs
#     it (scripts/autopkgtest.sh).
#   scripts/check-chroot.sh [--previous FOLDER] [--packages FOLDER]
#   scripts/check-chroot.sh --fresh [COMMAND]
# --previous FOLDER: the .deb files of the previous build (say, the package that main
# made before: RELIABILITY.md says how). --packages FOLDER: the packages and source
# package made by scripts/build-package.sh (or check-package.sh --keep); built anew
# without it. --fresh: instead of the packages, the README's set-up on a fresh Debian 12:
# a clone of this tree's last commit in the minimal chroot runs COMMAND (default
# `CI=true ./test.sh`, as CI runs it; `./run.sh` also works, without a display), with
# nothing installed beforehand, so that a package that only this machine has shows.
# Needs root; the base chroot is kept in /var/cache/quarvel-chroot (scripts/minbase.sh).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
previous=
packages=
fresh=
fresh_command='CI=true ./test.sh'
while [ $# -gt 0 ]; do
  case $1 in
    --previous) previous=$(realpath "$2"); shift ;;
    --packages) packages=$(realpath "$2"); shift ;;
    --fresh) fresh=1; [ $# -lt 2 ] || { fresh_command=$2; shift; } ;;
    *) echo "usage: $0 [--previous FOLDER] [--packages FOLDER] | --fresh [COMMAND]" >&2; exit 2 ;;
  esac
  shift
done
[ "$(id -u)" -eq 0 ] || { echo "check-chroot: needs root (debootstrap, chroot)" >&2; exit 1; }
started=$SECONDS
step() { echo "check-chroot: [$((SECONDS - started)) s] $*"; }
fail() {
  echo "check-chroot: $*" >&2
  exit 1
}

"$root/scripts/install-deps.sh" chroot
mirror=${MIRROR:-http://deb.debian.org/debian}
work=$(mktemp -d "${TMPDIR:-/var/tmp}/quarvel-chroot.XXXXXX")
cleanup() {
  for bed in "$work/fresh"; do
    for mount in dev/shm dev/pts dev sys proc; do
      if mountpoint -q "$bed/$mount" 2>/dev/null; then umount "$bed/$mount" || umount -l "$bed/$mount"; fi
    done
  done
  if grep -q " $work/" /proc/mounts; then
    echo "check-chroot: $work is still mounted; left as it is" >&2
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

# The base: a minimal Debian 12, made once and kept.
base=$(MIRROR=$mirror "$root/scripts/minbase.sh")

# --- the README's set-up on a fresh system ----------------------------------------
if [ -n "$fresh" ]; then
  bed=$work/fresh
  mkdir "$bed"
  tar -C "$bed" -xf "$base"
  cp /etc/resolv.conf "$bed/etc/resolv.conf"
  git clone -q "$root" "$bed/root/quarvel"
  mount -t proc proc "$bed/proc"
  mount -t sysfs sys "$bed/sys"
  # A /dev of its own (never the host's bound in, which the clean-up would empty).
  mount -t tmpfs -o mode=755 dev "$bed/dev"
  for node in "null c 1 3" "zero c 1 5" "full c 1 7" "random c 1 8" "urandom c 1 9" "tty c 5 0"; do
    set -- $node
    mknod -m 666 "$bed/dev/$1" "$2" "$3" "$4"
  done
  mkdir "$bed/dev/pts" "$bed/dev/shm"
  mount -t devpts -o newinstance,ptmxmode=0666 devpts "$bed/dev/pts"
  ln -s pts/ptmx "$bed/dev/ptmx"
  mount -t tmpfs -o mode=1777 shm "$bed/dev/shm"
  ln -s /proc/self/fd "$bed/dev/fd"
  for n in 0:stdin 1:stdout 2:stderr; do ln -s "/proc/self/fd/${n%%:*}" "$bed/dev/${n#*:}"; done
  step "a clone of $(git -C "$root" rev-parse --short HEAD) in a fresh minbase chroot: $fresh_command"
  status=0
  chroot "$bed" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin HOME=/root \
    LANG=C.UTF-8 bash -c "cd /root/quarvel && $fresh_command" >"$work/fresh.log" 2>&1 || status=$?
  cp "$work/fresh.log" /tmp/quarvel-fresh.log
  tail -n 15 "$work/fresh.log"
  [ "$status" -eq 0 ] || fail "'$fresh_command' failed ($status) on a fresh system; the whole log: /tmp/quarvel-fresh.log"
  step "'$fresh_command' passed on a fresh system (log: /tmp/quarvel-fresh.log)"
  exit 0
fi

if [ -z "$packages" ]; then
  packages=$work/packages
  "$root/scripts/build-package.sh" "$packages"
fi
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
changes=$packages/quarvel_${version}_$arch.changes
dsc=$packages/quarvel_$version.dsc
[ -f "$changes" ] && [ -f "$dsc" ] || fail "no $changes or $dsc"
step "packages of $version in $packages"

# --- piuparts -----------------------------------------------------------------------
# (piuparts reads its base as a gzip-compressed tarball.)
gzip -1 -c "$base" >"$work/base.tgz"
piuparts_options=(--basetgz="$work/base.tgz" --distribution=bookworm --mirror="$mirror main")
if [ -n "$previous" ]; then
  # The previous build as the archive version: piuparts installs it from there, then
  # upgrades to the packages given, then purges.
  repo=$work/previous
  mkdir -p "$repo"
  cp "$previous"/*.deb "$repo"/
  (cd "$repo" && dpkg-scanpackages . /dev/null >Packages) 2>/dev/null
  chmod -R a+rX "$work"
  piuparts_options+=(--bindmount="$repo" --extra-repo="deb [trusted=yes] file://$repo ./")
fi
piuparts_status=0
piuparts "${piuparts_options[@]}" "$changes" >"$work/piuparts.log" 2>&1 || piuparts_status=$?
cp "$work/piuparts.log" /tmp/quarvel-piuparts.log
[ "$piuparts_status" -eq 0 ] || { tail -n 40 "$work/piuparts.log" >&2; fail "piuparts failed; the whole log: /tmp/quarvel-piuparts.log"; }
grep -E 'PASS|upgrade' "$work/piuparts.log" | tail -n 5
step "piuparts passed (log: /tmp/quarvel-piuparts.log)"

# --- autopkgtest --------------------------------------------------------------------
autopkgtest_status=0
"$root/scripts/autopkgtest.sh" "$packages" /tmp/quarvel-autopkgtest.log || autopkgtest_status=$?
[ "$autopkgtest_status" -eq 0 ] || fail "autopkgtest failed ($autopkgtest_status); the whole log: /tmp/quarvel-autopkgtest.log"
step "autopkgtest passed (log: /tmp/quarvel-autopkgtest.log)"
