#!/usr/bin/env bash
# Installs every Debian package that building, testing, packaging and running Quarvel
# need. Idempotent: does nothing when all packages are present; runs `apt-get update`
# only when something is missing.
#   scripts/install-deps.sh            what ./run.sh and ./test.sh need
#   scripts/install-deps.sh chroot     and the tools of the tests in a clean Debian
#                                      chroot (scripts/check-chroot.sh)
set -euo pipefail

packages=(
  cmake ninja-build g++ pkg-config
  libfreetype-dev libfontconfig-dev libpng-dev zlib1g-dev libdeflate-dev
  qt6-base-dev libgl-dev
  libgtest-dev libgmock-dev libbenchmark-dev libtbb-dev
  fonts-symbola
  fonts-mona fonts-monapo fonts-ipafont-gothic fontconfig
  chromium
  xvfb xauth xdotool x11-utils xclip dbus at-spi2-core python3-dbus
  clang libclang-rt-14-dev
  hyperfine pango1.0-tools python3
  dpkg-dev file lintian desktop-file-utils appstream man-db
  libcli11-dev
  debhelper librsvg2-bin devscripts appstream-compose
  libboost-dev nettle-dev wrk
)
if [ "${1:-}" = chroot ]; then
  packages+=(debootstrap piuparts autopkgtest)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

echo "Installing: ${missing[*]}" >&2
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
