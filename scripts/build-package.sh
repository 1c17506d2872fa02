#!/usr/bin/env bash
# Builds the Debian packages of this source tree the way Debian builds them, into
# OUT-DIR: the source package (quarvel_<version>.dsc, its upstream tarball and
# debian/ tarball) and, with `dpkg-buildpackage -us -uc -b`, the binary packages
# quarvel and quarvel-cli with their -dbgsym packages, the .changes and .buildinfo.
#   scripts/build-package.sh OUT-DIR
# The tree is copied first (the files git tracks and the new files it does not
# ignore), so build folders and the working tree are neither packed nor touched, and
# two builds from one tree start from the same files.
#   DEB_BUILD_OPTIONS    as for dpkg-buildpackage; default "nocheck parallel=<cores>"
#                        (the tests are ./test.sh's; without nocheck they run in the build)
#   QUARVEL_MAINTAINER, QUARVEL_HOMEPAGE   as README.md says (debian/rules)
# The build's log is OUT-DIR/build.log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -eq 1 ] || { echo "usage: $0 OUT-DIR" >&2; exit 2; }
out=$(realpath -m "$1")
mkdir -p "$out"

version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
upstream=${version%-*}
epoch=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Timestamp)
work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
tree=$work/quarvel-$upstream
mkdir "$tree"

if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  (cd "$root" && git ls-files -z --cached --others --exclude-standard |
    while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
    tar --null -T - -cf -) | tar -xf - -C "$tree"
else
  tar -C "$root" --exclude='./build*' --exclude=./.git --exclude=./.cache -cf - . | tar -xf - -C "$tree"
fi

# The upstream tarball: the tree without debian/, the same bytes for the same files.
tar -C "$work" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
  --exclude="quarvel-$upstream/debian" -cf - "quarvel-$upstream" | xz -6 -T1 >"$work/quarvel_$upstream.orig.tar.xz"
(cd "$work" && dpkg-source -b "quarvel-$upstream") >"$out/build.log" 2>&1 ||
  { cat "$out/build.log" >&2; echo "build-package: dpkg-source -b failed" >&2; exit 1; }

options=${DEB_BUILD_OPTIONS-nocheck parallel=$(nproc 2>/dev/null || echo 2)}
if ! (cd "$tree" && DEB_BUILD_OPTIONS=$options dpkg-buildpackage -us -uc -b) >>"$out/build.log" 2>&1; then
  tail -n 60 "$out/build.log" >&2
  echo "build-package: dpkg-buildpackage failed; the whole log: $out/build.log" >&2
  exit 1
fi
# The program as the build made it, before it was stripped: the check compares the
# installed package's pictures with it.
cp "$tree/debian/build/cli/quarvel-cli" "$out/built-quarvel-cli"
find "$work" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.ddeb' -o -name '*.changes' -o -name '*.buildinfo' \
  -o -name '*.dsc' -o -name '*.tar.xz' \) -exec mv -t "$out" {} +
