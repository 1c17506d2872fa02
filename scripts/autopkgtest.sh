#!/usr/bin/env bash
# Runs the packages' autopkgtests (debian/tests) as Debian's CI runs them, on a clean
# testbed: a minimal Debian 12 (scripts/minbase.sh) unpacked anew for each test in a user
# namespace (autopkgtest's unshare runner), with only the test's dependencies installed,
# from the archive and from PACKAGES-DIR:
#   autopkgtest OUT/quarvel-cli_*.deb OUT/quarvel_*.deb OUT/quarvel_*.dsc \
#     -- unshare --release bookworm --tarball MINBASE.tar
# The packages apt fetches for the testbeds are kept in /var/cache/quarvel-chroot/apt
# (QUARVEL_CHROOT_CACHE) for the next run.
#   scripts/autopkgtest.sh PACKAGES-DIR LOG
# PACKAGES-DIR holds the .deb files and the source package of one version, as
# scripts/build-package.sh leaves them. The whole log goes to LOG, each test's verdict
# to standard output; the exit status is autopkgtest's (0 all passed, 2 some skipped).
# Needs the profile `test` or `chroot` of scripts/install-deps.sh, and root (or sudo)
# to make the base the first time.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 2 ] || { echo "usage: $0 PACKAGES-DIR LOG" >&2; exit 2; }
packages=$(realpath "$1")
log=$(realpath -m "$2")
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
arch=$(dpkg --print-architecture)
base=$("$root/scripts/minbase.sh")
cache=$(dirname "$base")/apt
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" mkdir -p "$cache/partial"

mkdir -p "$(dirname "$log")"
status=0
# (autopkgtest says each test's verdict and a summary of them all at its end.)
"${sudo_cmd[@]}" autopkgtest --no-built-binaries \
  "$packages/quarvel-cli_${version}_$arch.deb" "$packages/quarvel_${version}_$arch.deb" \
  "$packages/quarvel_$version.dsc" \
  -- unshare --release bookworm --tarball "$base" --bind "$cache" /var/cache/apt/archives \
  >"$log" 2>&1 || status=$?
sed -n '/@@@@@@@@@@@@@@@@@@@@ summary$/,$p' "$log" | tail -n +2
exit "$status"
