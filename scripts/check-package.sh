#!/usr/bin/env bash
# Builds the Debian packages as Debian builds them (scripts/build-package.sh: the source
# package, then dpkg-buildpackage -us -uc -b) and checks them:
#   - their files (dpkg-deb -c): exactly what each package should hold; the -dbgsym
#     packages hold the debugging symbols of both programs; the desktop entry, the
#     AppStream metainfo, the manual pages and the icons clean under their checkers;
#   - their dependencies: the package of every library each program links, the fonts
#     for quarvel-cli, no Qt for quarvel-cli, quarvel-cli of the same version for quarvel;
#   - hardening-check: every protection in both programs;
#   - lintian --pedantic with info tags, on the source and the binary packages: no tag
#     at all but those overridden in debian/ (each override says why);
#   - installed with apt: quarvel-cli --version, every example drawn as the build draws
#     it, the bash completion, and the window of quarvel under Xvfb opening a thread
#     named on its command line, leaving it alone, and converting it at its button,
#     and speaking the locale's language (its English translation found), and man
#     finding quarvel's Japanese page under a Japanese locale;
# then purges both with whatever apt had to add for them, and checks that the installed
# packages are the same as before and that no file of the packages is left; then runs
# the autopkgtests (debian/tests) on a clean testbed, as Debian's CI does
# (scripts/autopkgtest.sh; the log in build/package-check/autopkgtest.log). Installing
# needs root (or sudo); two checks on one machine wait for each other.
#   scripts/check-package.sh [--reproducible] [--keep DIR | --packages DIR]
# --reproducible builds the packages a second time, from another folder, in another
# time zone, locale and umask, and fails unless every package is the same byte for
# byte. --keep DIR keeps the packages of the (first) build in DIR; --packages DIR
# checks the packages kept there instead of building them.
set -euo pipefail
# (With pipefail, `PROGRAM | grep -q` fails when grep has found its line and gone before
# the program has written the rest: a search here reads a here-string instead.)

root=$(cd "$(dirname "$0")/.." && pwd)
reproducible=false
keep=
packages=
while [ $# -gt 0 ]; do
  case $1 in
    --reproducible) reproducible=true ;;
    --keep) keep=$(realpath -m "$2"); shift ;;
    --packages) packages=$(realpath "$2"); shift ;;
    *) echo "usage: $0 [--reproducible] [--keep DIR | --packages DIR]" >&2; exit 2 ;;
  esac
  shift
done
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
    apt-get -q -y -o DPkg::Lock::Timeout=600 "$@"
}

work=$(mktemp -d "${TMPDIR:-/tmp}/quarvel-package.XXXXXX")
installed_by_us=false
before=$work/packages-before
# Every installed package with its version and state, one a line.
list_packages() { dpkg-query -W -f='${Package}:${Architecture} ${Version} ${db:Status-Abbrev}\n' | sort; }

# Puts the machine back as it was: the packages and whatever apt added for them.
restore() {
  local status=$?
  if $installed_by_us; then
    # Only what this check's apt install brought (dpkg names each package new to the
    # machine as it unpacks it), never what another apt run may have installed meanwhile.
    local ours=(quarvel quarvel-cli quarvel-server) left=()
    mapfile -t -O 2 ours < <(tr -d '\r' <"$work/install.log" 2>/dev/null |
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

# --- The packages ------------------------------------------------------------------
out=$work/out
if [ -n "$packages" ]; then
  mkdir "$out" && cp "$packages"/* "$out"/
else
  "$root/scripts/build-package.sh" "$out" || fail "the packages could not be built"
fi
version=$(dpkg-parsechangelog -l "$root/debian/changelog" -S Version)
upstream=${version%-*}
arch=$(dpkg --print-architecture)
deb() { echo "$out/${1}_${version}_$arch.deb"; }
for package in quarvel quarvel-cli quarvel-server quarvel-dbgsym quarvel-cli-dbgsym quarvel-server-dbgsym; do
  [ -f "$(deb $package)" ] || fail "no package $(basename "$(deb $package)")"
done
step "built $(cd "$out" && echo *.deb *.dsc)"
[ -z "$keep" ] || { mkdir -p "$keep" && cp "$out"/* "$keep"/; }

if $reproducible; then
  # The same source package, built in another folder (the build path), time zone,
  # locale and umask.
  (umask 0002 && TZ=Asia/Tokyo LC_ALL=C.UTF-8 TMPDIR=$work \
    "$root/scripts/build-package.sh" --source "$out/quarvel_$version.dsc" "$work/again") ||
    fail "the second build failed"
  differ=()
  for file in "$out"/*.deb; do
    cmp -s "$file" "$work/again/$(basename "$file")" || differ+=("$(basename "$file")")
  done
  [ ${#differ[@]} -eq 0 ] || fail "two builds differ: ${differ[*]} (compare them with diffoscope)"
  step "reproducible: the source package built again in another folder, time zone, locale and umask gives the same $(cd "$out" && echo *.deb | wc -w) packages byte for byte"
fi

# --- Their files --------------------------------------------------------------------
files_of() { dpkg-deb -c "$1" | awk '$1 !~ /^d/ { sub(/^\.\//, "", $6); print $6 }' | sort; }
expect_files() {
  local package=$1 expected=$2
  diff <(echo "$expected" | sort) <(files_of "$(deb "$package")") >"$work/files.diff" ||
    { cat "$work/files.diff" >&2; fail "$package: the files are not the expected ones (< expected, > in the package)"; }
  if grep -qv '^root/root$' <<<"$(dpkg-deb -c "$(deb "$package")" | awk '{ print $2 }')"; then fail "$package: files not owned by root"; fi
}
icons=$(for size in 16 32 48 64 128 256; do echo "usr/share/icons/hicolor/${size}x$size/apps/quarvel.png"; done)
multiarch=$(dpkg-architecture -qDEB_HOST_MULTIARCH)
workers=usr/lib/$multiarch/quarvel/quarvel-workers.so
expect_files quarvel-cli "usr/bin/quarvel-cli
$workers
usr/share/bash-completion/completions/quarvel-cli
usr/share/doc/quarvel-cli/changelog.Debian.gz
usr/share/doc/quarvel-cli/copyright
usr/share/doc/quarvel-cli/examples/large.txt
usr/share/doc/quarvel-cli/examples/medium.txt
usr/share/doc/quarvel-cli/examples/small.txt
usr/share/lintian/overrides/quarvel-cli
usr/share/locale/ja/LC_MESSAGES/quarvel-cli.mo
usr/share/man/ja/man1/quarvel-cli.1.gz
usr/share/man/man1/quarvel-cli.1.gz
usr/share/zsh/vendor-completions/_quarvel-cli
usr/share/fish/vendor_completions.d/quarvel-cli.fish"
expect_files quarvel "usr/bin/quarvel
usr/share/applications/quarvel.desktop
usr/share/doc/quarvel/changelog.Debian.gz
usr/share/doc/quarvel/copyright
$icons
usr/share/icons/hicolor/scalable/apps/quarvel.svg
usr/share/lintian/overrides/quarvel
usr/share/man/ja/man1/quarvel.1.gz
usr/share/man/man1/quarvel.1.gz
usr/share/metainfo/io.github.quarvel.Quarvel.metainfo.xml
usr/share/mime/packages/quarvel.xml
usr/share/quarvel/translations/quarvel_en.qm
usr/share/thumbnailers/quarvel.thumbnailer"
expect_files quarvel-server "lib/systemd/system/quarvel-server.service
usr/bin/quarvel-server
usr/share/bash-completion/completions/quarvel-server
usr/share/zsh/vendor-completions/_quarvel-server
usr/share/fish/vendor_completions.d/quarvel-server.fish
usr/share/doc/quarvel-server/changelog.Debian.gz
usr/share/doc/quarvel-server/copyright
usr/share/lintian/overrides/quarvel-server
usr/share/locale/ja/LC_MESSAGES/quarvel-server.mo
usr/share/man/ja/man1/quarvel-server.1.gz
usr/share/man/man1/quarvel-server.1.gz"

tree=$work/tree
for package in quarvel quarvel-cli quarvel-server quarvel-dbgsym quarvel-cli-dbgsym quarvel-server-dbgsym; do dpkg-deb -x "$(deb $package)" "$tree"; done
# Each program's debugging symbols (and the workers' module's, in quarvel-cli's), found
# by its build ID as gdb looks for them.
for entry in quarvel:usr/bin/quarvel quarvel-cli:usr/bin/quarvel-cli quarvel-server:usr/bin/quarvel-server \
  "quarvel-cli:$workers"; do
  package=${entry%%:*} file=${entry#*:}
  id=$(readelf -n "$tree/$file" | sed -nE 's/.*Build ID: ([0-9a-f]+)/\1/p')
  [ -n "$id" ] || fail "$file has no build ID"
  debug=usr/lib/debug/.build-id/${id:0:2}/${id:2}.debug
  grep -qx "$debug" <<<"$(files_of "$(deb "$package-dbgsym")")" || fail "$package-dbgsym lacks $debug"
  grep -q '\.debug_info' <<<"$(readelf -S "$tree/$debug" 2>/dev/null)" || fail "$debug holds no debugging information"
done
desktop-file-validate "$tree/usr/share/applications/quarvel.desktop" || fail "desktop-file-validate"
grep -qx 'Exec=quarvel %F' "$tree/usr/share/applications/quarvel.desktop" || fail "the desktop entry does not pass files (%F)"
grep -qx 'MimeType=text/html;text/x-aa-mlt;text/x-aa-ast;' "$tree/usr/share/applications/quarvel.desktop" ||
  fail "the desktop entry opens no HTML or no template collection"
# The collections' type, as shared-mime-info builds its database from it; the
# thumbnailer names the same types and quarvel-cli's command.
mkdir -p "$work/mime/packages"
cp "$tree/usr/share/mime/packages/quarvel.xml" "$work/mime/packages/"
# (Any word but a warning is a note that the folder is not where the desktop looks.)
XDG_DATA_DIRS=$work update-mime-database "$work/mime" >"$work/mime.log" 2>&1 ||
  { cat "$work/mime.log" >&2; fail "update-mime-database"; }
[ ! -s "$work/mime.log" ] || { cat "$work/mime.log" >&2; fail "update-mime-database warned"; }
for entry in mlt:text/x-aa-mlt ast:text/x-aa-ast; do
  grep -q "^[0-9]*:${entry#*:}:\*\.${entry%%:*}$" "$work/mime/globs2" || fail "no type ${entry#*:} for *.${entry%%:*}"
done
grep -qx 'MimeType=text/x-aa-mlt;text/x-aa-ast;' "$tree/usr/share/thumbnailers/quarvel.thumbnailer" ||
  fail "the thumbnailer names other types"
grep -qx 'Exec=quarvel-cli thumbnail --size %s -o %o -- %i' "$tree/usr/share/thumbnailers/quarvel.thumbnailer" ||
  fail "the thumbnailer runs another command"
main_categories=$(grep '^Categories=' "$tree/usr/share/applications/quarvel.desktop" | tr '=;' '\n' |
  grep -cxE 'AudioVideo|Audio|Video|Development|Education|Game|Graphics|Network|Office|Science|Settings|System|Utility' || true)
[ "$main_categories" -eq 1 ] || fail "the desktop entry has $main_categories main categories, not one"
metainfo=$tree/usr/share/metainfo/io.github.quarvel.Quarvel.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >"$work/appstream.log" 2>&1 ||
  { cat "$work/appstream.log" >&2; fail "appstreamcli validate"; }
grep -q '<project_license>MIT</project_license>' "$metainfo" || fail "the metainfo names no licence"
grep -q '<url type="homepage">https://' "$metainfo" || fail "the metainfo names no homepage"
grep -q '<image type="source" width="[0-9]*" height="[0-9]*">https://.*/docs/images/window-light.png</image>' "$metainfo" ||
  fail "the metainfo shows no screenshot"
grep -q '<p xml:lang="ja">' "$metainfo" || fail "the metainfo has no Japanese description"
for page in quarvel quarvel-cli quarvel-server; do
  # man reports every groff warning on standard error.
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tree/usr/share/man/man1/$page.1.gz" 2>"$work/man.log" >/dev/null
  [ ! -s "$work/man.log" ] || { cat "$work/man.log" >&2; fail "man page $page.1"; }
done
for page in quarvel quarvel-cli quarvel-server; do
  LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -l "$tree/usr/share/man/ja/man1/$page.1.gz" 2>"$work/man.log" >/dev/null
  [ ! -s "$work/man.log" ] || { cat "$work/man.log" >&2; fail "the Japanese man page $page.1"; }
done
for size in 16 32 48 64 128 256; do
  grep -q "PNG image data, $size x $size," <<<"$(file "$tree/usr/share/icons/hicolor/${size}x$size/apps/quarvel.png")" ||
    fail "the ${size}x$size icon is not a $size x $size PNG"
done
grep -q '<svg' "$tree/usr/share/icons/hicolor/scalable/apps/quarvel.svg" || fail "the scalable icon is no SVG"
# Software centres list the component with its icon: the catalogue that appstream
# composes from the installed tree names the component and its cached icon.
if command -v appstreamcli >/dev/null && appstreamcli compose --help >/dev/null 2>&1; then
  appstreamcli compose --no-color --origin=quarvel --result-root="$work/compose" "$tree" >"$work/compose.log" 2>&1 ||
    { cat "$work/compose.log" >&2; fail "appstreamcli compose"; }
  catalogue=$(zcat "$work/compose/usr/share/swcatalog/xml/quarvel.xml.gz" 2>/dev/null ||
    zcat "$work/compose/usr/share/app-info/xmls/quarvel.xml.gz")
  grep -q '<id>io.github.quarvel.Quarvel</id>' <<<"$catalogue" || fail "appstreamcli compose lists no component"
  grep -q '<icon type="cached"' <<<"$catalogue" || fail "appstreamcli compose found no icon: $(cat "$work/compose.log")"
fi
step "files: both packages as expected, symbols in -dbgsym; desktop entry, metainfo, catalogue, man pages and icons clean"

# --- Their dependencies -------------------------------------------------------------
check_depends() {
  local package=$1 program=$2
  shift 2
  local depends declared linked path real soname owners needed=() libraries=() candidates=()
  depends=$(dpkg-deb -f "$(deb "$package")" "${field:-Depends}")
  # (What Depends already names, dpkg-gencontrol leaves out of Recommends.)
  [ "${field:-Depends}" = Depends ] || depends+=", $(dpkg-deb -f "$(deb "$package")" Depends)"
  declared=$(echo "$depends" | tr ',|' '\n' | sed -E 's/\(.*\)//; s/[[:space:]]//g' | sort -u)
  # Every library the program (a file under usr/bin, or a path in the tree) links, as
  # the dynamic linker finds it.
  [[ $program == */* ]] || program=usr/bin/$program
  linked=$(ldd "$tree/$program")
  for soname in $(readelf -d "$tree/$program" | sed -nE 's/.*\(NEEDED\).*\[(.*)\]/\1/p'); do
    # "NAME => PATH (address)", or "PATH (address)" for the dynamic loader.
    path=$(echo "$linked" | awk -v s="$soname" '$1 == s && $2 == "=>" { print $3 } $1 ~ "/" s "$" { print $1 }')
    [ -n "$path" ] || fail "$program: $soname not found"
    libraries+=("$path")
  done
  # The package that holds each, whichever of its paths (/lib or /usr/lib) dpkg knows;
  # one dpkg-query for all, as each reads the whole file database.
  for path in "${libraries[@]}"; do
    real=$(realpath "$path")
    candidates+=("$path" "$real" "${real#/usr}")
  done
  owners=$(dpkg-query -S "${candidates[@]}" 2>/dev/null || true)
  for path in "${libraries[@]}"; do
    real=$(realpath "$path")
    package_of=$(echo "$owners" | awk -F': ' -v a="$path" -v b="$real" -v c="${real#/usr}" \
      '$2 == a || $2 == b || $2 == c { sub(/:.*/, "", $1); print $1; exit }')
    [ -n "$package_of" ] || fail "no package holds $path"
    needed+=("$package_of")
  done
  for need in $(printf '%s\n' "${needed[@]}" "$@" | sort -u); do
    grep -qx "$need" <<<"$declared" || fail "$package: ${field:-Depends} lacks $need: $depends"
  done
  step "$package ${field:-Depends} (for ${program##*/}): $depends"
}
# fontconfig is loaded when first needed, not linked: named by hand.
check_depends quarvel-cli quarvel-cli fonts-mona fonts-monapo fonts-ipafont-gothic fonts-symbola libfontconfig1
# The workers' module is loaded only for more than one worker; without oneTBB the
# programs draw one picture at a time (the autopkgtest runs-without-tbb), so what it
# links is recommended.
field=Recommends check_depends quarvel-cli "$workers"
grep -q 'libtbb' <<<"$(dpkg-deb -f "$(deb quarvel-cli)" Depends)" && fail "quarvel-cli depends on oneTBB"
check_depends quarvel quarvel quarvel-cli
check_depends quarvel-server quarvel-server fonts-mona fonts-monapo fonts-ipafont-gothic fonts-symbola libfontconfig1
grep -qF "quarvel-cli (= $version)" <<<"$(dpkg-deb -f "$(deb quarvel)" Depends)" || fail "quarvel does not depend on quarvel-cli (= $version)"
for program in quarvel-cli quarvel-server; do
  grep -qi 'qt' <<<"$(dpkg-deb -f "$(deb $program)" Depends)" && fail "$program depends on Qt"
  dynamic=$(readelf -d "$tree/usr/bin/$program")
  grep -q 'NEEDED.*libQt' <<<"$dynamic" && fail "$program links Qt"
  grep -q 'NEEDED.*libstdc++' <<<"$dynamic" || fail "$program does not load the shared C++ runtime"
done

# --- Hardening ----------------------------------------------------------------------
# The processor's control flow protection (CET) is marked on a program only when every
# object linked in is built for it; Debian 12's C library start files (crt1.o) are not,
# so there the mark cannot be had and is not asked for (the code is built for it all
# the same: debian/rules).
hardening_options=()
crt1=/usr/lib/$multiarch/crt1.o
if [ "$(dpkg-architecture -qDEB_HOST_ARCH_CPU)" = amd64 ] && ! grep -q 'x86 feature: IBT' <<<"$(readelf -n "$crt1")"; then
  hardening_options+=(--nocfprotection)
fi
hardening-check "${hardening_options[@]}" "$tree/usr/bin/quarvel" "$tree/usr/bin/quarvel-cli" "$tree/usr/bin/quarvel-server" \
  "$tree/$workers" >"$work/hardening.log" 2>&1 ||
  { cat "$work/hardening.log" >&2; fail "hardening-check ${hardening_options[*]}"; }
step "hardening-check ${hardening_options[*]}: $(grep -c ': yes' "$work/hardening.log") protections found in the three programs and the workers' module, none missing"

# --- lintian ------------------------------------------------------------------------
# Every tag fails the check, down to the pedantic and informational ones, but those
# overridden in debian/*lintian-overrides (each with its reason). (--show-overrides
# would make lintian fail on the overridden ones too.)
lintian_status=0
lintian --pedantic --display-info --fail-on error,warning,info,pedantic \
  "$out/quarvel_${version}_$arch.changes" "$out/quarvel_$version.dsc" >"$work/lintian.log" 2>&1 || lintian_status=$?
grep -v '^running with root privileges' "$work/lintian.log" || true
[ "$lintian_status" -eq 0 ] || fail "lintian found tags (above)"
step "lintian --pedantic --display-info: no tags but the $(cat "$root"/debian/*lintian-overrides "$root"/debian/source/lintian-overrides | grep -c '^[a-z]') overridden"

# --- Installed ----------------------------------------------------------------------
# One check at a time on a machine: another would remove the packages under this one.
exec 9>/run/lock/quarvel-check-package.lock
flock 9
for package in quarvel quarvel-cli quarvel-server; do
  if grep -q '^.i' <<<"$(dpkg-query -W -f='${db:Status-Abbrev}' "$package" 2>/dev/null)"; then
    fail "$package is installed on this machine already; remove it (apt purge quarvel quarvel-cli quarvel-server) before the check"
  fi
done
# apt reads local packages as the user _apt: files in a folder it can enter.
chmod 755 "$work" "$out"
chmod 644 "$out"/*.deb
list_packages >"$before"
installed_by_us=true
apt_get install --no-install-recommends "$(deb quarvel-cli)" "$(deb quarvel)" "$(deb quarvel-server)" >"$work/install.log" 2>&1 ||
  { cat "$work/install.log" >&2; fail "apt install"; }
[ "$(dpkg-query -S /usr/bin/quarvel-cli | cut -d: -f1)" = quarvel-cli ] || fail "/usr/bin/quarvel-cli is not quarvel-cli's"
# The service's unit, where systemd finds it, naming a program that is there now.
# It listens on the loopback address by default, and takes packets from there alone.
grep -q '^ExecStart=.* --listen 127\.0\.0\.1:' /lib/systemd/system/quarvel-server.service &&
  grep -qx 'IPAddressAllow=localhost' /lib/systemd/system/quarvel-server.service &&
  grep -qx 'IPAddressDeny=any' /lib/systemd/system/quarvel-server.service ||
  fail "the unit's default address and the addresses it takes packets from differ"
if command -v systemd-analyze >/dev/null; then
  systemd-analyze verify --man=no /lib/systemd/system/quarvel-server.service >"$work/unit.log" 2>&1 ||
    { cat "$work/unit.log" >&2; fail "systemd-analyze verify quarvel-server.service"; }
fi

# The programs run with a home of their own, so that no cache or setting they might
# write stays behind.
mkdir -m 700 "$work/home"
export HOME=$work/home XDG_RUNTIME_DIR=$work/home QUARVEL_FONT=
said=$(/usr/bin/quarvel-cli --version) || fail "quarvel-cli --version failed"
[ "$said" = "quarvel-cli $upstream" ] || fail "quarvel-cli --version says '$said', not 'quarvel-cli $upstream'"
for text in /usr/share/doc/quarvel-cli/examples/*.txt; do
  name=$(basename "$text" .txt)
  cmp -s "$text" "$root/examples/$name.txt" || fail "$text is not examples/$name.txt"
  # (The large example is wider than a picture: the warning goes to the log.)
  /usr/bin/quarvel-cli render "$text" -o "$work/installed-$name.png" 2>>"$work/render.log" ||
    fail "the installed quarvel-cli could not draw $text"
  "$out/built-quarvel-cli" render "$text" -o "$work/built-$name.png" 2>>"$work/render.log" ||
    fail "the build's quarvel-cli could not draw $text"
  cmp -s "$work/installed-$name.png" "$work/built-$name.png" || fail "the installed quarvel-cli draws $name otherwise than the build"
done
grep -q 'PNG image data' <<<"$(file "$work/installed-small.png")" || fail "the installed quarvel-cli drew no PNG picture"

# The installed programs find their catalogues: a file that is not there is told in
# English under an English locale and under C, in Japanese under a Japanese one, the
# system's reason included.
for entry in "en_US.UTF-8|could not open the file: No such file or directory" \
  "ja_JP.UTF-8|ファイルのオープンに失敗: そのようなファイルやディレクトリはありません" \
  "C|could not open the file: No such file or directory"; do
  said=$(LANGUAGE= LC_ALL=${entry%%|*} /usr/bin/quarvel-cli render "$work/none.txt" -o "$work/none.png" 2>&1) &&
    fail "the installed quarvel-cli drew a file that is not there"
  [ "$said" = "quarvel-cli: $work/none.txt: ${entry#*|}" ] ||
    fail "the installed quarvel-cli under LC_ALL=${entry%%|*} says: $said"
done
said=$(LANGUAGE= LC_ALL=ja_JP.UTF-8 /usr/bin/quarvel-server --threads 0 2>&1) && fail "quarvel-server took --threads 0"
[ "$said" = "quarvel-server: オプション --threads には 1 から 256 までの数が必要です（'0' は使えません）（quarvel-server --help を参照）" ] ||
  fail "the installed quarvel-server under ja_JP.UTF-8 says: $said"

completion=$(bash -c 'source /usr/share/bash-completion/completions/quarvel-cli
  COMP_WORDS=(quarvel-cli conv); COMP_CWORD=1; _quarvel_cli; echo "${COMPREPLY[*]}"')
[ "$completion" = "convert convert-folder" ] || fail "bash completion of 'quarvel-cli conv': '$completion'"
completion=$(bash -c 'source /usr/share/bash-completion/completions/quarvel-server
  COMP_WORDS=(quarvel-server --li); COMP_CWORD=1; _quarvel_server; echo "${COMPREPLY[*]}"')
[ "$completion" = "--listen" ] || fail "bash completion of 'quarvel-server --li': '$completion'"
# fish finds both programs' completion where the packages put it.
if command -v fish >/dev/null; then
  for entry in 'quarvel-cli thum|thumbnail' 'quarvel-server --max-c|--max-connections'; do
    # (Not --no-config: fish's own configuration names the completion folders.)
    completion=$(fish -c 'complete -C$argv[1] | string replace -r "\t.*" ""' "${entry%%|*}")
    [ "$completion" = "${entry#*|}" ] || fail "fish completion of '${entry%%|*}': '$completion'"
  done
fi

# The desktop knows template collections once the packages are in: shared-mime-info's
# database has their type, and the thumbnailer's command, as a file manager runs it,
# draws a collection's picture at the size asked.
if [ -f /usr/share/mime/globs2 ]; then
  grep -q '^[0-9]*:text/x-aa-mlt:\*\.mlt$' /usr/share/mime/globs2 || fail "the installed MIME database has no *.mlt"
fi
printf '(^o^)/\n[SPLIT]\norz\n' >"$work/art.mlt"
exec_line=$(sed -n 's/^Exec=//p' /usr/share/thumbnailers/quarvel.thumbnailer)
exec_line=${exec_line//%s/128}
exec_line=${exec_line//%o/$work/thumbnail.png}
exec_line=${exec_line//%i/$work/art.mlt}
# shellcheck disable=SC2086 # the thumbnailer's words, as a file manager splits them
$exec_line || fail "the thumbnailer's command failed: $exec_line"
grep -q 'PNG image data, 128 x 128,' <<<"$(file "$work/thumbnail.png")" || fail "the thumbnailer drew no 128 x 128 picture"

# The window under Xvfb, opening a thread as the desktop opens it (Exec=quarvel %F):
# the thread waits untouched in the file page until "PNG画像生成" is pressed (from the
# keyboard: six steps back from the path box, past the tab strip,
# the transparency box, the scale, the half-width box and the margin), then is converted as quarvel-cli
# converts it.
mkdir -p "$work/window" "$work/cli"
printf '<dl><dt>1</dt><dd>(^o^)/ <br> orz<dt>2</dt><dd>(-_-)zzz</dl>\n' >"$work/window/thread.htm"
cp "$work/window/thread.htm" "$work/cli/thread.htm"
# On two workers: the installed program finds its workers' module (else it says it draws
# one picture at a time).
/usr/bin/quarvel-cli convert --quiet --jobs 2 "$work/cli/thread.htm" 2>"$work/convert.log" ||
  { cat "$work/convert.log" >&2; fail "the installed quarvel-cli could not convert a thread"; }
[ ! -s "$work/convert.log" ] || { cat "$work/convert.log" >&2; fail "the installed quarvel-cli said something converting a thread"; }
# shellcheck disable=SC2016 # the inner script expands its own variables
xvfb-run -a -s "-screen 0 1024x768x24" bash -c '
  (cd "$2" && exec env -u QT_QPA_PLATFORM /usr/bin/quarvel thread.htm) >"$1" 2>&1 &
  pid=$!
  found=0
  timeout 20 xdotool search --sync --all --onlyvisible --pid "$pid" --name "^Quarvel" >/dev/null &&
    sleep 1 && [ ! -e "$2/thread" ] && ! grep -q "<img" "$2/thread.htm" &&
    xdotool key shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab shift+Tab Return &&
    timeout 20 bash -c "until [ -f \"\$0/thread/001.png\" ] && [ -f \"\$0/backup/thread.htm.record\" ] && grep -q \"<img\" \"\$0/thread.htm\"; do sleep 0.1; done" "$2" &&
    found=1
  sleep 0.5
  kill "$pid" 2>/dev/null
  wait "$pid" 2>/dev/null
  [ "$found" = 1 ]' _ "$work/window.log" "$work/window" || { cat "$work/window.log" >&2; fail "quarvel opened no window, changed the thread before its button was pressed, or did not convert it then"; }
# The conversion records name each picture by its inode and times, which two runs never share;
# all else, the records' other lines too, must be the same.
diff -r --exclude='*.record' "$work/cli" "$work/window" >/dev/null ||
  fail "the window converted the thread it was given otherwise than quarvel-cli"
diff <(sed 's/^\(picture\) [0-9 ]* \([^ ]*\)$/\1 \2/' "$work/cli/backup/thread.htm.record") \
  <(sed 's/^\(picture\) [0-9 ]* \([^ ]*\)$/\1 \2/' "$work/window/backup/thread.htm.record") >/dev/null ||
  fail "the window recorded its conversion otherwise than quarvel-cli"
# The installed window finds its translation: under an English locale its preview
# (Ctrl+P) is captioned "Preview", under a Japanese one "プレビュー". So does man its
# Japanese page.
for entry in 'en_US.UTF-8|Preview' 'ja_JP.UTF-8|プレビュー'; do
  # shellcheck disable=SC2016 # the inner script expands its own variables
  xvfb-run -a -s "-screen 0 1024x768x24" env LC_ALL="${entry%%|*}" LANGUAGE= bash -c '
    (cd "$2" && exec env -u QT_QPA_PLATFORM /usr/bin/quarvel) >"$1" 2>&1 &
    pid=$!
    found=0
    timeout 20 xdotool search --sync --all --onlyvisible --pid "$pid" --name "^Quarvel" >/dev/null &&
      sleep 1 && xdotool key ctrl+p &&
      timeout 20 xdotool search --sync --all --onlyvisible --pid "$pid" --name "^$3\$" >/dev/null && found=1
    kill "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
    [ "$found" = 1 ]' _ "$work/window.log" "$work/window" "${entry#*|}" ||
    { cat "$work/window.log" >&2; fail "the installed window under ${entry%%|*} showed no preview captioned ${entry#*|}"; }
done
for page in quarvel quarvel-server; do
  for entry in "ja_JP.UTF-8|/usr/share/man/ja/man1/$page.1.gz" "en_US.UTF-8|/usr/share/man/man1/$page.1.gz"; do
    found=$(LC_ALL= LANGUAGE= LANG=${entry%%|*} man -w $page)
    [ "$found" = "${entry#*|}" ] || fail "man $page under ${entry%%|*} finds $found, not ${entry#*|}"
  done
done
# The service on a free port, answering with what quarvel-cli draws.
/usr/bin/quarvel-server --listen 127.0.0.1:0 2>"$work/server.log" &
server=$!
port=
for _ in $(seq 100); do
  port=$(sed -nE 's/.*listening on http:\/\/127\.0\.0\.1:([0-9]+).*/\1/p' "$work/server.log" | head -1)
  [ -n "$port" ] && break
  sleep 0.1
done
[ -n "$port" ] || { kill "$server"; cat "$work/server.log" >&2; fail "quarvel-server did not say where it listens"; }
python3 - "$port" /usr/share/doc/quarvel-cli/examples/small.txt "$work/served.png" <<'PY' ||
import sys, urllib.request
request = urllib.request.Request(f"http://127.0.0.1:{sys.argv[1]}/render", data=open(sys.argv[2], "rb").read(),
                                 headers={"Content-Type": "text/plain; charset=utf-8"})
open(sys.argv[3], "wb").write(urllib.request.urlopen(request, timeout=20).read())
PY
  { kill "$server"; fail "quarvel-server did not draw"; }
kill "$server"
wait "$server" 2>/dev/null || true
cmp -s "$work/served.png" "$work/installed-small.png" || fail "quarvel-server draws otherwise than quarvel-cli"
step "installed: --version, the examples drawn as the build draws them, the messages in the locale's language, the completion, the window opening a thread and speaking the locale's language, man quarvel in Japanese, the service drawing as quarvel-cli"

apt_get purge quarvel quarvel-cli quarvel-server >"$work/purge.log" 2>&1 || { cat "$work/purge.log" >&2; fail "apt purge"; }
left=$(files_of "$(deb quarvel)"; files_of "$(deb quarvel-cli)"; files_of "$(deb quarvel-server)")
left=$(echo "$left" | while read -r file; do [ ! -e "/$file" ] || echo "/$file"; done)
[ -z "$left" ] || fail "left after the purge: $left"
step "purged, no file left; took $((SECONDS - started)) s"

# --- The autopkgtests, on a clean testbed ---------------------------------------------
# debian/tests as Debian's CI runs them (scripts/autopkgtest.sh): each test in a
# minimal Debian 12 of its own with only its dependencies. The log is kept.
mkdir -p "$root/build/package-check"
autopkgtest_log=$root/build/package-check/autopkgtest.log
"$root/scripts/autopkgtest.sh" "$out" "$autopkgtest_log" ||
  fail "the autopkgtests failed on a clean testbed; the whole log: $autopkgtest_log"
step "autopkgtest on a clean minbase testbed: every test passed (log: $autopkgtest_log); took $((SECONDS - started)) s"
