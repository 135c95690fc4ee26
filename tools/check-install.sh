#!/bin/sh
# Installs a build into a scratch prefix and checks the tree as a desktop and
# a package would see it: every file there, the launcher, the AppStream data
# and the MIME type valid, the man page readable, and the installed program
# running: its version, a pack built, and its window opened (offscreen) from
# the module it finds relative to itself.
# Usage: tools/check-install.sh [build-dir]
set -eu
build=${1:-$(cd "$(dirname "$0")/.." && pwd)/build/default}
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=org.bundlesmith.Bundlesmith
fail() { echo "check-install: $*" >&2; exit 1; }

for f in bin/bundlesmith lib/bundlesmith/bundlesmith_wizard.so \
         share/applications/$id.desktop share/metainfo/$id.metainfo.xml share/mime/packages/$id.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/man/man1/bundlesmith.1 \
         share/bash-completion/completions/bundlesmith share/doc/bundlesmith/LICENSE; do
    [ -s "$prefix/$f" ] || fail "$f is missing"
done
for size in 16 24 32 48 64 128 256; do
    [ -s "$prefix/share/icons/hicolor/${size}x$size/apps/$id.png" ] || fail "the ${size}px icon is missing"
done
desktop-file-validate "$prefix/share/applications/$id.desktop" || fail "the launcher is not valid"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml" >/dev/null || fail "the AppStream data is not valid"
xmllint --noout "$prefix/share/mime/packages/$id.xml" || fail "the MIME type is not well-formed"
grep -q 'glob pattern="\*.plsc"' "$prefix/share/mime/packages/$id.xml" || fail "the MIME type does not claim *.plsc"
grep -q '^MimeType=application/x-msgplus-scriptpack;' "$prefix/share/applications/$id.desktop" ||
    fail "the launcher does not open Script Packs"
groff -man -z -ww "$prefix/share/man/man1/bundlesmith.1" || fail "the man page does not render"
bash -n "$prefix/share/bash-completion/completions/bundlesmith" || fail "the completion is not valid bash"

"$prefix/bin/bundlesmith" --version | grep -q '^Bundlesmith [0-9]' || fail "--version failed"
mkdir -p "$prefix/work/Tool" && echo 'x' > "$prefix/work/Tool/tool.js"
( cd "$prefix/work" && "$prefix/bin/bundlesmith" pack -q --name Tool Tool ) || fail "pack failed"
unzip -tqq "$prefix/work/Tool-1.0.plsc" >/dev/null || fail "the pack does not test"
# Offscreen the window stays up until timeout ends it (124); a module not found ends it at once.
set +e
timeout 3 "$prefix/bin/bundlesmith" -platform offscreen 2>"$prefix/window.err"
code=$?
set -e
[ "$code" -eq 124 ] || fail "the window did not open (exit $code): $(cat "$prefix/window.err")"
echo "check-install: all present and valid in $prefix"
