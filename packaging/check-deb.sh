#!/usr/bin/env bash
# Builds the .deb of a build tree into a temporary folder, unpacks it without
# installing it, and checks what a user's system would get from it: every
# file and nothing else, programs that start, valid desktop entry, metainfo
# and control data, and no lintian error.
#   check-deb.sh <build>/CPackConfig.cmake <version> <application id>
set -euo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <CPackConfig.cmake> <version> <application id>" >&2
    exit 2
fi
config=$1
version=$2
app_id=$3

for tool in cpack dpkg-deb desktop-file-validate appstreamcli lintian gzip od; do
    if ! command -v "$tool" >/dev/null; then
        echo "$tool is missing: 'bash scripts/setup.sh test' installs it" >&2
        exit 1
    fi
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

if ! cpack --config "$config" -B "$work/out" >"$work/cpack.log" 2>&1; then
    cat "$work/cpack.log"
    echo "FAIL: cpack"
    exit 1
fi
deb=$work/out/tavrix_${version}_$(dpkg --print-architecture).deb
if [ ! -f "$deb" ]; then
    cat "$work/cpack.log"
    echo "FAIL: no $(basename "$deb") among: $(ls "$work/out")"
    exit 1
fi
echo "built $(basename "$deb"), $(stat -c %s "$deb") bytes"

# Control data: the version from CMake, and dependencies that dpkg-shlibdeps
# found in the binaries (the C library at the least, Qt for the window,
# libcrypto and zlib for tavrix-cli hash).
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = tavrix ] || fail "Package is '$(field Package)'"
[ "$(field Version)" = "$version" ] || fail "Version is '$(field Version)', not $version"
[ "$(field Section)" = utils ] || fail "Section is '$(field Section)'"
depends=$(field Depends)
for lib in libc6 libqt6widgets6 libssl3 zlib1g "fonts-noto-cjk | fonts-ipafont-gothic | fonts-vlgothic" qt6-translations-l10n; do
    [[ $depends == *"$lib"* ]] || fail "Depends lacks $lib: '$depends'"
done

root=$work/root
dpkg-deb -x "$deb" "$root"

# Exactly these files: anything else (a test program, a library's headers)
# got installed by accident.
expected=(
    usr/bin/tavrix
    usr/bin/tavrix-cli
    usr/share/bash-completion/completions/tavrix-cli
    usr/share/zsh/vendor-completions/_tavrix-cli
    "usr/share/applications/$app_id.desktop"
    "usr/share/metainfo/$app_id.metainfo.xml"
    "usr/share/icons/hicolor/scalable/apps/$app_id.svg"
    usr/share/man/man1/tavrix.1.gz
    usr/share/man/man1/tavrix-cli.1.gz
    usr/share/doc/tavrix/README.md
    usr/share/doc/tavrix/copyright
    usr/share/doc/tavrix/changelog.gz
)
sizes=(16 32 48 64 128 256)
for size in "${sizes[@]}"; do
    expected+=("usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png")
done
diff <(printf '%s\n' "${expected[@]}" | sort) \
     <(cd "$root" && find . ! -type d | sed 's|^\./||' | sort) \
    || fail "the package's files differ from the list above (< missing, > unexpected)"

for program in tavrix tavrix-cli; do
    file=$root/usr/bin/$program
    [ ! -e "$file" ] || [ -x "$file" ] || fail "/usr/bin/$program is not executable"
done

# The completions load: a script that does not parse breaks every shell
# that completes tavrix-cli.
completion=$root/usr/share/bash-completion/completions/tavrix-cli
[ ! -f "$completion" ] || bash -n "$completion" || fail "bash -n rejects the bash completion"

# Each PNG is as large as the folder it is in says: width and height are the
# big-endian words at bytes 16 and 20 of the file.
for size in "${sizes[@]}"; do
    png=$root/usr/share/icons/hicolor/${size}x${size}/apps/$app_id.png
    [ -f "$png" ] || continue
    read -r -a b < <(od -An -tu1 -j16 -N8 "$png")
    actual=$(( (b[2] << 8) + b[3] ))x$(( (b[6] << 8) + b[7] ))
    [ "$actual" = "${size}x${size}" ] || fail "the ${size}x${size} icon is $actual"
done

for file in usr/share/man/man1/tavrix.1.gz usr/share/man/man1/tavrix-cli.1.gz usr/share/doc/tavrix/changelog.gz; do
    [ ! -e "$root/$file" ] || gzip -t "$root/$file" 2>/dev/null || fail "/$file is not gzip"
done
# A new version needs its changelog entry.
if [ -f "$root/usr/share/doc/tavrix/changelog.gz" ]; then
    newest=$(gzip -dc "$root/usr/share/doc/tavrix/changelog.gz" | sed -n '1s/^tavrix (\([^)]*\)).*/\1/p')
    [ "$newest" = "$version" ] || fail "the newest changelog entry is '$newest', not $version"
fi

# Both programs answer --version without a display, from the unpacked tree.
for program in tavrix tavrix-cli; do
    [ -x "$root/usr/bin/$program" ] || continue
    status=0
    output=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM \
        timeout 30 "$root/usr/bin/$program" --version 2>&1) || status=$?
    if [ "$status" -ne 0 ]; then
        fail "$program --version exited with $status: $output"
    elif [[ $output != *"$version"* ]]; then
        fail "$program --version does not print $version: $output"
    fi
done

desktop=$root/usr/share/applications/$app_id.desktop
metainfo=$root/usr/share/metainfo/$app_id.metainfo.xml
if [ -f "$desktop" ]; then
    desktop-file-validate "$desktop" || fail "desktop-file-validate"
    # The launcher starts a program the package holds, with the icon it holds.
    grep -qx 'Exec=tavrix %f' "$desktop" || fail "Exec is not 'tavrix %f'"
    grep -qx "Icon=$app_id" "$desktop" || fail "Icon is not $app_id"
    # The Qt window's class is its application name: docks group by it.
    grep -qx "StartupWMClass=Tavrix" "$desktop" || fail "StartupWMClass is not Tavrix"
fi
if [ -f "$metainfo" ]; then
    appstreamcli validate --no-net "$metainfo" || fail "appstreamcli validate"
    grep -q "<id>$app_id</id>" "$metainfo" || fail "the metainfo's id is not $app_id"
    grep -q "<launchable type=\"desktop-id\">$app_id.desktop</launchable>" "$metainfo" \
        || fail "the metainfo does not launch $app_id.desktop"
    # A new version needs its release entry.
    newest=$(grep -o '<release version="[^"]*"' "$metainfo" | head -n 1 | cut -d'"' -f2)
    [ "$newest" = "$version" ] || fail "the newest release in the metainfo is '$newest', not $version"
fi

# Lintian's warnings are printed for people; its errors fail.
lintian_output=$(lintian --tag-display-limit 0 "$deb" 2>&1 | grep -v '^running with root privileges') || true
if [ -n "$lintian_output" ]; then
    echo "lintian:"
    echo "$lintian_output"
fi
if grep -q '^E:' <<<"$lintian_output"; then
    fail "lintian reports errors"
fi

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "package checks passed"
