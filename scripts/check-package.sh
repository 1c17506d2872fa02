#!/usr/bin/env bash
# Makes the Debian package of a configured build folder and checks it:
#   - its files (dpkg-deb -c): exactly what an installation holds; the desktop entry,
#     the AppStream metainfo and the manual pages clean under their own checkers;
#   - its dependencies (dpkg-deb -I): the package of every library the programs link,
#     and the fonts the art is drawn with;
#   - lintian: no errors;
#   - installed with apt: quarvel-cli --version, a picture the same as the build's,
#     the bash completion, and the window of quarvel under Xvfb;
# then removes the package again, with whatever apt had to add for it, and checks that
# the installed packages are the same as before. Installing needs root (or sudo); two
# checks on one machine wait for each other.
#   scripts/check-package.sh [BUILD-FOLDER]       (default: build)
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$(realpath "${1:-$root/build}")
started=$SECONDS

fail() {
  echo "check-package: $*" >&2
  exit 1
}
step() { echo "check-package: [$((SECONDS - started)) s] $*"; }

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
apt_get() {
  "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive LC_ALL=C \
    apt-get -q -y -o DPkg::Lock::Timeout=300 "$@"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-package.XXXXXX")
installed_by_us=false
before=$work/packages-before
# Every installed package with its version and state, one a line.
list_packages() { dpkg-query -W -f='${Package}:${Architecture} ${Version} ${db:Status-Abbrev}\n' | sort; }

# Puts the machine back as it was: the package and whatever apt added for it.
restore() {
  local status=$?
  if $installed_by_us; then
    # Only what this check's apt install brought (dpkg names each package new to the
    # machine as it unpacks it), never what another apt run may have installed meanwhile.
    local ours=(quarvel) left=()
    mapfile -t -O 1 ours < <(tr -d '\r' <"$work/install.log" 2>/dev/null |
      sed -nE 's/.*Selecting previously unselected package ([^ ]+)\.$/\1/p')
    mapfile -t left < <(dpkg-query -W -f='${Package} ${db:Status-Abbrev}\n' "${ours[@]}" 2>/dev/null |
      awk 'substr($2, 2, 1) != "n" { print $1 }')
    if [ ${#left[@]} -gt 0 ] && ! apt_get purge "${left[@]}" >"$work/purge.log" 2>&1; then
      cat "$work/purge.log" >&2
      echo "check-package: could not remove ${left[*]}" >&2
      status=1
    fi
    if ! diff "$before" <(list_packages) >"$work/changed"; then
      echo "check-package: the installed packages differ from before the check:" >&2
      cat "$work/changed" >&2
      status=1
    fi
  fi
  rm -rf "$work"
  exit "$status"
}
trap restore EXIT
trap 'exit 130' INT
trap 'exit 143' TERM

# --- The package -------------------------------------------------------------------
rm -f "$build"/quarvel_*.deb
cmake --build "$build" --target package >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log" >&2; fail "cmake --build $build --target package failed"; }
debs=("$build"/quarvel_*.deb)
if [ ${#debs[@]} -ne 1 ] || [ ! -f "${debs[0]}" ]; then fail "no single quarvel_*.deb in $build"; fi
# apt reads a local package as the user _apt: a folder it can enter.
chmod 755 "$work"
deb=$work/$(basename "${debs[0]}")
cp "${debs[0]}" "$deb"
chmod 644 "$deb"
version=$(dpkg-deb -f "$deb" Version)
step "$(basename "$deb"), $(stat -c %s "$deb") bytes"

# --- Its files ----------------------------------------------------------------------
expected="usr/bin/quarvel
usr/bin/quarvel-cli
usr/share/applications/quarvel.desktop
usr/share/bash-completion/completions/quarvel-cli
usr/share/doc/quarvel/changelog.gz
usr/share/doc/quarvel/copyright
usr/share/icons/hicolor/48x48/apps/quarvel.png
usr/share/man/man1/quarvel-cli.1.gz
usr/share/man/man1/quarvel.1.gz
usr/share/metainfo/io.github.quarvel.Quarvel.metainfo.xml"
files=$(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort)
diff <(echo "$expected") <(echo "$files") >"$work/files.diff" ||
  { cat "$work/files.diff" >&2; fail "the package's files are not the expected ones (< expected, > in the package)"; }
if dpkg-deb -c "$deb" | awk '{ print $2 }' | grep -qv '^root/root$'; then fail "files not owned by root"; fi

tree=$work/tree
dpkg-deb -x "$deb" "$tree"
desktop-file-validate "$tree/usr/share/applications/quarvel.desktop" || fail "desktop-file-validate"
main_categories=$(grep '^Categories=' "$tree/usr/share/applications/quarvel.desktop" | tr '=;' '\n' |
  grep -cxE 'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility' || true)
[ "$main_categories" -eq 1 ] || fail "the desktop entry has $main_categories main categories, not one"
appstreamcli validate --no-net --pedantic "$tree/usr/share/metainfo/io.github.quarvel.Quarvel.metainfo.xml" \
  >"$work/appstream.log" 2>&1 || { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
for page in quarvel quarvel-cli; do
  # man reports every groff warning on standard error.
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tree/usr/share/man/man1/$page.1.gz" 2>"$work/man.log" >/dev/null
  [ ! -s "$work/man.log" ] || { cat "$work/man.log" >&2; fail "man page $page.1"; }
done
file "$tree/usr/share/icons/hicolor/48x48/apps/quarvel.png" | grep -q 'PNG image data, 48 x 48' || fail "the icon is not a 48x48 PNG"
step "files: $(echo "$files" | wc -l), desktop entry, metainfo, man pages and icon clean"

# --- Its dependencies ---------------------------------------------------------------
depends=$(dpkg-deb -f "$deb" Depends)
declared=$(echo "$depends" | tr ',|' '\n' | sed -E 's/\(.*\)//; s/[[:space:]]//g' | sort -u)
# Every library the programs link, as the dynamic linker finds it.
libraries=()
for program in quarvel quarvel-cli; do
  binary=$tree/usr/bin/$program
  linked=$(ldd "$binary")
  for soname in $(readelf -d "$binary" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p'); do
    # "NAME => PATH (address)", or "PATH (address)" for the dynamic loader.
    path=$(echo "$linked" | awk -v s="$soname" '$1 == s && $2 == "=>" { print $3 } $1 ~ "/" s "$" { print $1 }')
    [ -n "$path" ] || fail "$program: $soname not found"
    libraries+=("$path")
  done
done
# The package that holds each, whichever of its paths (/lib or /usr/lib) dpkg knows;
# one dpkg-query for all, as each reads the whole file database.
candidates=()
for path in "${libraries[@]}"; do
  real=$(realpath "$path")
  candidates+=("$path" "$real" "${real#/usr}")
done
owners=$(dpkg-query -S "${candidates[@]}" 2>/dev/null || true)
needed=()
for path in "${libraries[@]}"; do
  real=$(realpath "$path")
  package=$(echo "$owners" | awk -F': ' -v a="$path" -v b="$real" -v c="${real#/usr}" \
    '$2 == a || $2 == b || $2 == c { sub(/:.*/, "", $1); print $1; exit }')
  [ -n "$package" ] || fail "no package holds $path"
  needed+=("$package")
done
for package in $(printf '%s\n' "${needed[@]}" fonts-mona fonts-monapo fonts-ipafont-gothic fonts-symbola | sort -u); do
  echo "$declared" | grep -qx "$package" || fail "Depends lacks $package: $depends"
done
step "Depends: $depends"

# --- lintian ------------------------------------------------------------------------
# Errors fail the check; warnings and notes are shown.
lintian_status=0
lintian --fail-on error "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian found errors"
step "lintian: $(grep -c '^E:' "$work/lintian.log" || true) errors, $(grep -c '^W:' "$work/lintian.log" || true) warnings, $(grep -c '^I:' "$work/lintian.log" || true) notes"

# --- Installed ----------------------------------------------------------------------
# One check at a time on a machine: another would remove the package under this one.
exec 9>/run/lock/quarvel-check-package.lock
flock 9
if dpkg-query -W -f='${db:Status-Abbrev}' quarvel 2>/dev/null | grep -q '^.i'; then
  fail "quarvel is installed on this machine already; remove it (apt remove quarvel) before the check"
fi
list_packages >"$before"
installed_by_us=true
apt_get install --no-install-recommends "$deb" >"$work/install.log" 2>&1 || { cat "$work/install.log" >&2; fail "apt install $deb"; }
[ "$(dpkg-query -S /usr/bin/quarvel-cli | cut -d: -f1)" = quarvel ] || fail "/usr/bin/quarvel-cli is not the package's"

# The programs run with a home of their own, so that no cache or setting they might
# write stays behind.
mkdir -m 700 "$work/home"
export HOME=$work/home XDG_RUNTIME_DIR=$work/home QUARVEL_FONT=
said=$(/usr/bin/quarvel-cli --version) || fail "quarvel-cli --version failed"
[ "$said" = "quarvel-cli $version" ] || fail "quarvel-cli --version says '$said', not 'quarvel-cli $version'"
/usr/bin/quarvel-cli render "$root/examples/small.txt" -o "$work/installed.png" || fail "the installed quarvel-cli could not draw"
file "$work/installed.png" | grep -q 'PNG image data' || fail "the installed quarvel-cli drew no PNG picture"
"$build/cli/quarvel-cli" render "$root/examples/small.txt" -o "$work/built.png" || fail "$build/cli/quarvel-cli could not draw"
cmp -s "$work/installed.png" "$work/built.png" || fail "the installed quarvel-cli draws another picture than $build/cli/quarvel-cli"

completion=$(bash -c 'source /usr/share/bash-completion/completions/quarvel-cli
  COMP_WORDS=(quarvel-cli conv); COMP_CWORD=1; _quarvel_cli; echo "${COMPREPLY[*]}"')
[ "$completion" = "convert convert-folder" ] || fail "bash completion of 'quarvel-cli conv': '$completion'"

# The window: a visible top-level window of the program named Quarvel.
# shellcheck disable=SC2016 # the inner script expands its own variables
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  env -u QT_QPA_PLATFORM /usr/bin/quarvel >"$1" 2>&1 &
  pid=$!
  found=0
  timeout 20 xdotool search --sync --all --onlyvisible --pid "$pid" --name "^Quarvel" >/dev/null && found=1
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ "$found" = 1 ]' _ "$work/window.log" || { cat "$work/window.log" >&2; fail "quarvel opened no window under Xvfb"; }
step "installed: --version, a render, the completion and the window work"

apt_get purge quarvel >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt purge quarvel"; }
step "removed; took $((SECONDS - started)) s"
