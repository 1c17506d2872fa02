#!/usr/bin/env bash
# Builds the Debian packages of this source tree the way Debian builds them, into
# OUT-DIR: the source package (quarvel_<version>.dsc, its upstream tarball and
# debian/ tarball), then, from that source package unpacked anew, the binary packages
# quarvel, quarvel-cli and quarvel-server with their -dbgsym packages (dpkg-buildpackage -us -uc -b),
# the .changes and .buildinfo.
#   scripts/build-package.sh [--source DSC] OUT-DIR
# The source package is made from a copy of the tree (the files git tracks and the new
# files it does not ignore, with their times set to the changelog's), so build folders
# and the working tree are neither packed nor touched. --source DSC builds the binary
# packages of a source package made before instead (the second build of a
# reproducibility check).
#   DEB_BUILD_OPTIONS    as for dpkg-buildpackage; default "nocheck parallel=<cores>"
#                        (the tests are ./test.sh's; without nocheck they run in the build)
#   QUARVEL_MAINTAINER, QUARVEL_HOMEPAGE   as docs/PACKAGING.md says (debian/rules)
# The build's log is OUT-DIR/build.log.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/install-deps.sh" package
source_dsc=
if [ "${1:-}" = --source ]; then
  source_dsc=$(realpath "$2")
  shift 2
fi
[ $# -eq 1 ] || { echo "usage: $0 [--source DSC] OUT-DIR" >&2; exit 2; }
out=$(realpath -m "$1")
mkdir -p "$out"
work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-build.XXXXXX")
trap 'rm -rf "$work"' EXIT
: >"$out/build.log"

if [ -n "$source_dsc" ]; then
  dcmd cp "$source_dsc" "$work"/
else
  version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
  upstream=${version%-*}
  epoch=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Timestamp)
  tree=$work/source/quarvel-$upstream
  mkdir -p "$tree"
  if git -C "$root" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    (cd "$root" && git ls-files -z --cached --others --exclude-standard |
      while IFS= read -r -d '' file; do [ -e "$file" ] && printf '%s\0' "$file"; done |
      tar --null -T - -cf -) | tar -xf - -C "$tree"
  else
    tar -C "$root" --exclude='./build*' --exclude=./.git --exclude=./.cache -cf - . | tar -xf - -C "$tree"
  fi
  # The same files give the same source package, whenever and wherever they are copied.
  chmod -R go-w,a+rX "$tree"
  find "$tree" -exec touch -h -d "@$epoch" {} +
  # The upstream tarball: the tree without debian/.
  tar -C "$work/source" --sort=name --mtime="@$epoch" --owner=0 --group=0 --numeric-owner \
    --exclude="quarvel-$upstream/debian" -cf - "quarvel-$upstream" | xz -6 -T1 >"$work/quarvel_$upstream.orig.tar.xz"
  (cd "$work/source" && mv "../quarvel_$upstream.orig.tar.xz" . && dpkg-source -b "quarvel-$upstream" &&
    mv ./*.dsc ./*.tar.xz "$work"/) >>"$out/build.log" 2>&1 ||
    { cat "$out/build.log" >&2; echo "build-package: dpkg-source -b failed" >&2; exit 1; }
  rm -rf "$work/source"
fi

# The binary packages of the source package, unpacked anew as a build daemon does.
dsc=$(find "$work" -maxdepth 1 -name '*.dsc')
mkdir "$work/build"
dpkg-source -x "$dsc" "$work/build/quarvel" >>"$out/build.log" 2>&1 ||
  { cat "$out/build.log" >&2; echo "build-package: dpkg-source -x failed" >&2; exit 1; }
options=${DEB_BUILD_OPTIONS-nocheck parallel=$(nproc 2>/dev/null || echo 2)}
if ! (cd "$work/build/quarvel" && DEB_BUILD_OPTIONS=$options dpkg-buildpackage -us -uc -b) >>"$out/build.log" 2>&1; then
  tail -n 60 "$out/build.log" >&2
  echo "build-package: dpkg-buildpackage failed; the whole log: $out/build.log" >&2
  exit 1
fi
# The program as the build made it, before it was stripped: the check compares the
# installed package's pictures with it.
cp "$work/build/quarvel/debian/build/cli/quarvel-cli" "$out/built-quarvel-cli"
dcmd mv "$dsc" "$out"/
find "$work/build" -maxdepth 1 -type f \( -name '*.deb' -o -name '*.changes' -o -name '*.buildinfo' \) \
  -exec mv -t "$out" {} +
