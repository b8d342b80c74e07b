#!/bin/sh
# Runs a Windows program under wine64 in a private prefix, preparing the prefix
# on first use. Used as the cross-compiling emulator of the windows build.
#   scripts/wine-run.sh <prefix-dir> <program.exe> [args...]
set -eu

if [ $# -lt 2 ]; then
    echo "usage: $0 <prefix-dir> <program.exe> [args...]" >&2
    exit 2
fi
prefix=$1
shift

here=$(cd "$(dirname "$0")" && pwd)
if [ ! -f "$prefix/.tavrix-prepared" ]; then
    # Keep the program's stdout clean: tests compare it.
    "$here/wine-prefix.sh" "$prefix" >&2
fi

WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX
export WINEDEBUG=-all
# Wide-API names with non-ASCII characters fail without a UTF-8 locale.
export LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
# The loader itself: the `wine` wrapper looks for a 32-bit wine first and
# nags about it; our programs are 64-bit.
exec /usr/lib/wine/wine64 "$@"
