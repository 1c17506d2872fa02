#!/usr/bin/env bash
# Tests the Debian packages as Debian tests packages, in a clean Debian 12 chroot made
# with debootstrap (minbase) from the mirror apt uses: too slow for ./test.sh, run by
# hand before a release (RELIABILITY.md records the runs).
#   - piuparts: installs the packages (apt resolving their dependencies), purges them
#     and checks that nothing is left; with --previous, first installs the previous
#     build from a local repository and upgrades it to this one, then purges;
#   - autopkgtest (debian/tests) on the chroot runner: the installed quarvel-cli draws
#     every example as a build of the source does; the installed window, opened on a
#     thread under Xvfb, converts it as quarvel-cli does.
#   scripts/check-chroot.sh [--previous FOLDER] [--packages FOLDER]
# --previous FOLDER: the .deb files of the previous build (say, the package that main
# made before: RELIABILITY.md says how). --packages FOLDER: the packages and source
# package made by scripts/build-package.sh (or check-package.sh --keep); built anew
# without it. Needs root; the base chroot is kept in /var/cache/quarvel-chroot.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
previous=
packages=
while [ $# -gt 0 ]; do
  case $1 in
    --previous) previous=$(realpath "$2"); shift ;;
    --packages) packages=$(realpath "$2"); shift ;;
    *) echo "usage: $0 [--previous FOLDER] [--packages FOLDER]" >&2; exit 2 ;;
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
work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-chroot.XXXXXX")
cleanup() {
  if mountpoint -q "$work/testbed/proc" 2>/dev/null; then umount "$work/testbed/proc"; fi
  rm -rf "$work"
}
trap cleanup EXIT

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

# The base: a minimal Debian 12, made once and kept.
cache=/var/cache/quarvel-chroot
base=$cache/bookworm-minbase.tar.gz
if [ ! -f "$base" ]; then
  mkdir -p "$cache"
  debootstrap --variant=minbase bookworm "$work/base" "$mirror" >"$work/debootstrap.log" 2>&1 ||
    { tail -n 30 "$work/debootstrap.log" >&2; fail "debootstrap"; }
  tar -C "$work/base" -czf "$base.new" . && mv "$base.new" "$base"
  rm -rf "$work/base"
  step "made $base"
fi

# --- piuparts -----------------------------------------------------------------------
piuparts_options=(--basetgz="$base" --distribution=bookworm --mirror="$mirror main")
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
testbed=$work/testbed
mkdir "$testbed"
tar -C "$testbed" -xzf "$base"
cp /etc/resolv.conf "$testbed/etc/resolv.conf"
mount -t proc proc "$testbed/proc"
autopkgtest_status=0
autopkgtest --output-dir="$work/autopkgtest" "$dsc" "$packages"/*.deb -- chroot "$testbed" \
  >"$work/autopkgtest.log" 2>&1 || autopkgtest_status=$?
cp "$work/autopkgtest.log" /tmp/quarvel-autopkgtest.log
grep -E '^(ok|FAIL) |passed, .* failed|^(render-examples|open-thread) ' "$work/autopkgtest.log" || true
[ "$autopkgtest_status" -eq 0 ] || fail "autopkgtest failed ($autopkgtest_status); the whole log: /tmp/quarvel-autopkgtest.log"
step "autopkgtest passed (log: /tmp/quarvel-autopkgtest.log)"
