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
wine=/usr/lib/wine/wine64

# One server for a run of many programs, kept 30 s after the last one ends,
# with the prefix's background services started here on /dev/null. A service
# that a test program started would inherit its output pipe and hold it open
# until the server quit, and ctest waits for that: seconds per test.
# Neither the server nor the services may inherit the lock's descriptor: they
# would hold the lock for as long as they live.
(
    flock 9
    if /usr/lib/wine/wineserver -p30 2>/dev/null 9>&-; then
        "$wine" cmd /c exit </dev/null >/dev/null 2>&1 9>&- || true
    fi
) 9>"$WINEPREFIX.server.lock"

exec "$wine" "$@"
