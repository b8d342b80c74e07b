#!/usr/bin/env bash
# Runs the scan bench on each file system users keep large files on: ext4
# and xfs as loop-mounted images, and tmpfs (many desktops mount /tmp so).
# Needs root, mkfs.ext4 and mkfs.xfs (xfsprogs), and ~5 GiB of memory and
# 8 GiB of disk per file system.
#   bench/per-filesystem.sh [tavrix_bench] [work folder]
set -euo pipefail
bench=$(realpath "${1:-build/default/bench/tavrix_bench}")
work=$(realpath -m "${2:-/var/tmp/tavrix-fs-bench}")
[ "$(id -u)" -eq 0 ] || { echo "needs root (loop devices, mounts)"; exit 1; }
mkdir -p "$work"
mounted=()
cleanup() {
    for m in "${mounted[@]}"; do umount "$m" 2>/dev/null || true; done
    rm -f "$work"/*.img
}
trap cleanup EXIT

run_on() {
    local name=$1 mountpoint=$2
    echo "== $name"
    "$bench" "$mountpoint" 2>&1 | grep -vE 'XDG_RUNTIME_DIR|propagateSizeHints' || true
}

for fs in ext4 xfs; do
    if ! command -v "mkfs.$fs" >/dev/null; then echo "== $fs: skipped, mkfs.$fs missing"; continue; fi
    image="$work/$fs.img"
    mountpoint="$work/$fs"
    truncate -s 8G "$image"
    "mkfs.$fs" -q "$image"
    mkdir -p "$mountpoint"
    mount -o loop "$image" "$mountpoint"
    mounted+=("$mountpoint")
    run_on "$fs (loop image)" "$mountpoint"
done

mkdir -p "$work/tmpfs"
mount -t tmpfs -o size=5G tmpfs "$work/tmpfs"
mounted+=("$work/tmpfs")
run_on "tmpfs" "$work/tmpfs"
