#!/usr/bin/env bash
# Installs the Debian packages that a kind of work on Quarvel needs; each script asks
# for its own. Idempotent: does nothing when all are present; runs `apt-get update`
# only when something is missing.
#   scripts/install-deps.sh run       build and run the programs (./run.sh)
#   scripts/install-deps.sh test      and every test, the package check included (./test.sh)
#   scripts/install-deps.sh bench     and the benchmarks and timing scripts (bench/, scripts/bench-*.sh)
#   scripts/install-deps.sh package   and make and check the Debian packages (scripts/*-package.sh)
#   scripts/install-deps.sh chroot    and the tests in a clean Debian chroot (scripts/check-chroot.sh)
# `test` and `chroot` also give root the subordinate user and group IDs (/etc/subuid,
# /etc/subgid) that the autopkgtests' unshare testbed maps its users to.
# Several profiles may be given; without one, `test`.
set -euo pipefail

run=(
  cmake ninja-build g++ pkg-config gettext
  libfreetype-dev libfontconfig-dev libdeflate-dev libtbb-dev libcli11-dev
  qt6-base-dev libgl-dev librsvg2-bin qt6-translations-l10n qt6-l10n-tools
  libboost-dev nettle-dev
  fonts-mona fonts-monapo fonts-ipafont-gothic fonts-symbola fontconfig
)
# qt6-l10n-tools: lrelease compiles the window's translations; lupdate keeps them in
# step with its texts (scripts/update-ts.py and its test).
# build-essential: every Debian package build assumes it, so debian/control cannot name
# it, and a minimal system lacks it (dpkg-checkbuilddeps then refuses to build).
# locales-all and libc-l10n: the programs' words are checked under en_US, ja_JP and C,
# the system's reasons with them (the package check and the tests).
package=(
  build-essential dpkg-dev debhelper devscripts lintian file man-db
  desktop-file-utils appstream appstream-compose shared-mime-info
  locales-all libc-l10n
)
# The autopkgtests on a clean testbed (autopkgtest's unshare runner over a minbase tarball,
# scripts/minbase.sh).
autopkgtest=(autopkgtest uidmap debootstrap)
test=(
  "${package[@]}" "${autopkgtest[@]}"
  libgtest-dev libgmock-dev libpng-dev
  xvfb xauth xdotool x11-utils xclip dbus at-spi2-core python3 python3-dbus
  # the completion written for zsh and fish is loaded and asked in the tests
  zsh fish
  chromium
  clang libclang-rt-14-dev strace
)
bench=(
  libbenchmark-dev libpng-dev
  hyperfine pango1.0-tools wrk python3 stress-ng uchardet strace
)
chroot=(
  "${package[@]}" "${autopkgtest[@]}"
  piuparts
)

[ $# -gt 0 ] || set -- test
packages=("${run[@]}")
subids=false
for profile in "$@"; do
  case $profile in
    run) ;;
    test) packages+=("${test[@]}"); subids=true ;;
    bench) packages+=("${bench[@]}") ;;
    package) packages+=("${package[@]}") ;;
    chroot) packages+=("${chroot[@]}"); subids=true ;;
    *) echo "install-deps.sh: no profile '$profile' (run, test, bench, package, chroot)" >&2; exit 2 ;;
  esac
done

missing=()
for p in $(printf '%s\n' "${packages[@]}" | sort -u); do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 update -q
  "${sudo_cmd[@]}" apt-get -o DPkg::Lock::Timeout=600 install -y -q --no-install-recommends "${missing[@]}"
fi

# 65536 IDs for root, unless root has a range already: from 100000, or past the ranges
# that other users have.
if $subids; then
  for file in /etc/subuid /etc/subgid; do
    if ! grep -qE '^(root|0):' "$file" 2>/dev/null; then
      first=$(awk -F: 'BEGIN { n = 100000 } NF == 3 && $2 + $3 > n { n = $2 + $3 } END { print n }' "$file" 2>/dev/null || echo 100000)
      echo "Adding root:$first:65536 to $file" >&2
      echo "root:$first:65536" | "${sudo_cmd[@]}" tee -a "$file" >/dev/null
    fi
  done
fi
