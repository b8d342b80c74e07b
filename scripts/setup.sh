#!/usr/bin/env bash
# Installs what is missing, builds, then opens the window (run), runs every
# test (test), or makes the Debian package and the Windows zip in build/package
# (package). Safe to run again: it only installs and rebuilds what is needed.
set -euo pipefail
cd "$(dirname "$0")/.."

mode=${1:-}
case "$mode" in
    run | test | package) ;;
    *) echo "usage: $0 run|test|package" >&2; exit 2 ;;
esac

say() { printf '==> %s\n' "$*"; }

packages=(cmake g++ make qt6-base-dev fonts-noto-cjk)
# libcrypto and zlib for tavrix-cli hash: the configure step looks for them.
packages+=(libssl-dev zlib1g-dev)
if [ "$mode" = test ] || [ "$mode" = package ]; then
    # GoogleTest; mingw-w64 and wine for the Windows build and its tests.
    packages+=(libgtest-dev g++-mingw-w64-x86-64-posix wine64)
    # zlib for the Windows build, linked statically into tavrix-cli.exe.
    packages+=(libz-mingw-w64-dev)
    # The package and its checks: dpkg-shlibdeps, desktop-file-validate,
    # appstreamcli, lintian.
    packages+=(dpkg-dev desktop-file-utils appstream lintian)
    # The completion test parses the zsh script too; strace makes a disk
    # fail a read for the test of causes, which also grows a file on a real
    # exFAT image where it may mount one.
    packages+=(zsh strace exfat-fuse exfatprogs)
    # The accessibility test reads the window as a screen reader does, on a
    # private session bus and X server.
    packages+=(at-spi2-core python3-pyatspi dbus-daemon xvfb)
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

if [ "$mode" = package ]; then
    # Only what the .deb and the zip hold: no test, no benchmark.
    build default --target tavrix_package_contents
    build windows --target tavrix_package_contents
    version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/default/CMakeCache.txt)
    # Packages of an older version must not linger next to the new ones.
    rm -rf build/package
    say "making the Debian package"
    cpack --config build/default/CPackConfig.cmake -B build/package
    say "making the Windows zip"
    cpack --config build/windows/CPackConfig.cmake -B build/package
    rm -rf build/package/_CPack_Packages
    deb=build/package/tavrix_${version}_$(dpkg --print-architecture).deb
    zip=build/package/tavrix-${version}-win64.zip
    say "lintian $deb"
    lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges' || true)
    echo "${lintian_output:-(nothing to report)}"
    if grep -q '^E:' <<<"$lintian_output"; then
        echo "lintian found errors in $deb" >&2
        exit 1
    fi
    say "made $deb ($(stat -c %s "$deb") bytes) and $zip ($(stat -c %s "$zip") bytes)"
    say "install with: sudo apt install ./$deb"
    exit 0
fi

# The Windows build runs its tests under wine, in a private prefix made inside
# build/windows on first use.
for preset in default asan windows; do
    build "$preset"
    say "running the tests of preset '$preset'"
    ctest --preset "$preset" -j "$jobs" --output-on-failure
done
say "all tests passed"
