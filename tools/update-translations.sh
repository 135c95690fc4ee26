#!/bin/sh
# Gathers the texts of the program into the translation files (lupdate, from
# qt6-l10n-tools); translators then fill them in, with Qt Linguist or by hand.
set -e
cd "$(dirname "$0")/.."
lupdate=$(command -v lupdate6 || command -v lupdate || echo /usr/lib/qt6/bin/lupdate)
"$lupdate" -silent -no-obsolete -locations none src -ts translations/bundlesmith_pt_BR.ts
