#!/bin/sh
# Script folders laid out the way authors keep them (their own ScriptInfo.xml
# in UTF-16, UTF-8 or the Windows code page, menus, commands, under git),
# packed three ways and re-packed; says how many keep every element.
# Builds nothing itself; needs python3, git and xmllint.
# Usage: bench/authors/run.sh [build-dir]
set -e
here=$(cd "$(dirname "$0")" && pwd)
build=${1:-$here/../../build/default}
exec python3 "$here/authors.py" "$build/src/bundlesmith"
