#!/bin/sh
# Prepares a private wine prefix for running the Windows build headless:
# no display driver, no crash dialog (it would hang a test), Japanese UI font.
# Idempotent: a marker file records a finished preparation.
#   scripts/wine-prefix.sh <prefix-dir>
set -eu

if [ $# -ne 1 ]; then
    echo "usage: $0 <prefix-dir>" >&2
    exit 2
fi
prefix=$1
marker=.tavrix-prepared

if [ -f "$prefix/$marker" ]; then
    echo "wine prefix $prefix: already prepared"
    exit 0
fi

mkdir -p "$(dirname "$prefix")"
# Parallel test runs may race here: one prepares, the others wait.
exec 9>"$prefix.lock"
flock 9
if [ -f "$prefix/$marker" ]; then
    echo "wine prefix $prefix: already prepared"
    exit 0
fi

mkdir -p "$prefix"
WINEPREFIX=$(cd "$prefix" && pwd)
export WINEPREFIX
export WINEDEBUG=-all
export LANG=C.UTF-8
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"
wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver

echo "wine prefix $WINEPREFIX: wineboot --init"
"$wine" wineboot --init >/dev/null 2>&1

reg_add() {
    printf 'wine prefix %s: reg add' "$WINEPREFIX"
    printf " '%s'" "$@"
    printf '\n'
    "$wine" reg add "$@" /f >/dev/null
}
reg_add 'HKCU\Software\Wine\Drivers' /v Graphics /d null
reg_add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0
reg_add 'HKCU\Software\Wine\Fonts\Replacements' /v 'MS UI Gothic' /d 'Noto Sans CJK JP'

# Debian's wine looks for its own fonts (Tahoma among them) in the wrong
# folder; a copy in the prefix gives controls the face they were laid out for.
if [ -d /usr/share/wine/fonts ]; then
    echo "wine prefix $WINEPREFIX: copying wine's fonts"
    cp /usr/share/wine/fonts/* "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null || true
fi

# The registry reaches the disk only when the server shuts down.
echo "wine prefix $WINEPREFIX: waiting for wineserver"
"$wineserver" -w
touch "$WINEPREFIX/$marker"
echo "wine prefix $WINEPREFIX: prepared"
