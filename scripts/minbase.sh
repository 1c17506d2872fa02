#!/usr/bin/env bash
# Prints the path of a minimal Debian 12 system packed with tar (debootstrap --variant=minbase
# bookworm, from the mirror apt uses), the clean testbed of the autopkgtests and the base of
# scripts/check-chroot.sh. Made once and kept in /var/cache/quarvel-chroot (QUARVEL_CHROOT_CACHE),
# so a second run, CI's included, finds it; made anew when older than 30 days, so that the
# packages apt adds to it still fit. Needs root (or sudo) to make it; two runs at once wait
# for each other, and a run stopped half way leaves no tarball behind.
#   scripts/minbase.sh
set -euo pipefail

cache=${QUARVEL_CHROOT_CACHE:-/var/cache/quarvel-chroot}
base=$cache/bookworm-minbase.tar
mirror=${MIRROR:-http://deb.debian.org/debian}
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)

if [ -f "$base" ] && [ -z "$(find "$base" -mtime +30)" ]; then
  echo "$base"
  exit 0
fi
command -v debootstrap >/dev/null || "$(dirname "$0")/install-deps.sh" chroot >&2
"${sudo_cmd[@]}" mkdir -p "$cache"
# shellcheck disable=SC2016 # the inner script expands its own variables
"${sudo_cmd[@]}" flock "$cache" bash -c '
  set -eu
  base=$1 mirror=$2
  [ -f "$base" ] && [ -z "$(find "$base" -mtime +30)" ] && exit 0
  work=$(mktemp -d "$(dirname "$base")/make.XXXXXX")
  trap "rm -rf \"\$work\"" EXIT
  if ! debootstrap --variant=minbase bookworm "$work/root" "$mirror" >"$work/debootstrap.log" 2>&1; then
    tail -n 30 "$work/debootstrap.log" >&2
    echo "minbase: debootstrap failed" >&2
    exit 1
  fi
  tar -C "$work/root" --numeric-owner -cf "$work/base.tar" .
  mv "$work/base.tar" "$base"
  echo "minbase: made $base" >&2' _ "$base" "$mirror"
echo "$base"
