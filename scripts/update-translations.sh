#!/usr/bin/env bash
# Brings the English translation of the desktop program up to date with the sources: new texts are added
# as unfinished entries, vanished ones are dropped. Translate the new entries (Qt Linguist, or by hand in
# the .ts file), then build: the build turns the .ts into the .qm inside the program.
#   scripts/update-translations.sh            update app/translations/tagsink_en.ts
#   scripts/update-translations.sh OUT.ts     write the result to OUT.ts instead (the tests compare it)
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
lupdate=${LUPDATE:-$(command -v lupdate6 || true)}
[ -n "$lupdate" ] || lupdate=/usr/lib/qt6/bin/lupdate
if [ ! -x "$lupdate" ]; then
  echo "lupdate not found: install qt6-l10n-tools (scripts/deps.sh)" >&2
  exit 1
fi
committed="$root/app/translations/tagsink_en.ts"
out=${1:-$committed}
if [ "$out" != "$committed" ] && [ -f "$committed" ]; then
  cp "$committed" "$out"
fi
"$lupdate" -silent -locations none -no-obsolete -no-ui-lines -source-language zh_CN -target-language en \
  "$root/app/src" "$root/inspector/src" "$root/inspector/include" "$root/platform/src/opc_quality.cpp" -ts "$out"
