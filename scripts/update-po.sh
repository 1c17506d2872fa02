#!/usr/bin/env bash
# Writes po/quarvel.pot from the texts the sources mark (_("...") and N_("...")) and
# brings po/*.po up to date with it: a new text comes in untranslated, a changed one
# fuzzy, for a translator to fill in.
#   scripts/update-po.sh
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' |
  grep -E '^(platform|render|engine|settings|cmdline|cli|server)/' | grep -v -e '^platform/language\.h$')
xgettext --from-code=UTF-8 --language=C++ --keyword=_ --keyword=N_ --keyword=TranslatePlural:1,2 --keyword=Counted:2,3 --add-comments=TRANSLATORS: \
  --sort-by-file --no-wrap --package-name=Quarvel --output=po/quarvel.pot "${sources[@]}"
for po in po/*.po; do
  msgmerge --quiet --update --backup=none --no-wrap "$po" po/quarvel.pot
done
