#!/usr/bin/env bash
# Installs what is missing, builds, then opens the window (run) or runs every
# test (test). Safe to run again: it only installs and rebuilds what is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
    run | test) ;;
    *) echo "usage: $0 run|test" >&2; exit 2 ;;
esac

say() { printf '==> %s\n' "$*"; }

packages=(cmake g++ make qt6-base-dev fonts-noto-cjk)
if [ "$mode" = test ]; then
    # GoogleTest; mingw-w64 and wine for the Windows build and its tests.
    packages+=(libgtest-dev g++-mingw-w64-x86-64-posix wine64)
fi

missing=()
for package in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$package")
    fi
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    say "installing ${missing[*]}"
    "${sudo[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -q "${missing[@]}"
else
    say "all packages present: ${packages[*]}"
fi

jobs=$(nproc 2>/dev/null || echo 2)

build() {
    say "configuring and building preset '$1'"
    cmake --preset "$1" >/dev/null
    cmake --build --preset "$1" -j "$jobs" "${@:2}"
}

if [ "$mode" = run ]; then
    build default --target tavrix
    if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
        echo "tavrix: no display found: set DISPLAY, or run under xvfb-run" >&2
        exit 1
    fi
    say "opening the window: build/default/tavrix"
    exec build/default/tavrix
fi

# The Windows build runs its tests under wine, in a private prefix made inside
# build/windows on first use.
for preset in default asan windows; do
    build "$preset"
    say "running the tests of preset '$preset'"
    ctest --preset "$preset"
done
say "all tests passed"
