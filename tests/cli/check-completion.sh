#!/usr/bin/env bash
# The shell completions: both scripts parse (zsh's where zsh is installed),
# they know every option --help lists, and the bash one completes commands,
# options, option values and files.
#   check-completion.sh <tavrix-cli> <bash script> <zsh script>
set -uo pipefail

if [ $# -ne 3 ]; then
    echo "usage: $0 <tavrix-cli> <bash script> <zsh script>" >&2
    exit 2
fi
program=$1
bash_script=$2
zsh_script=$3

failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

bash -n "$bash_script" || fail "bash -n $bash_script"
if command -v zsh >/dev/null; then
    zsh -n "$zsh_script" || fail "zsh -n $zsh_script"
else
    echo "zsh is not installed: zsh -n skipped"
fi

# Every option of --help, long and short, in both scripts.
help=$("$program" --help) || fail "$program --help"
for option in $(grep -oE -- '(^|[ ,])--?[a-z][a-z-]*' <<<"$help" | tr -d ' ,' | sort -u); do
    for script in "$bash_script" "$zsh_script"; do
        grep -qF -- "$option" "$script" || fail "$(basename "$script") lacks $option"
    done
done

# What the bash function offers for a command line ending in the word
# being completed, one per line, sorted.
source "$bash_script"
offered() {
    COMP_WORDS=("$@")
    COMP_CWORD=$(($# - 1))
    COMPREPLY=()
    _tavrix_cli
    ((${#COMPREPLY[@]} == 0)) || printf '%s\n' "${COMPREPLY[@]}" | sort | tr '\n' ' '
}
expect() {
    local wanted=$1
    shift
    local got
    got=$(offered "$@")
    [ "$got" = "$wanted" ] || fail "[$*]: offered '$got', not '$wanted'"
}

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" && touch image.bin image.iso other.txt

expect "scan set " tavrix-cli s
expect "--help --version " tavrix-cli --
expect "--byte " tavrix-cli trim --b
expect "0x00 0x00,0xff 0xff auto " tavrix-cli scan --byte ""
expect "0x00 0x00,0xff 0xff " tavrix-cli trim --byte = 0x
expect "pow2 " tavrix-cli trim --align p
expect "sha1 sha256 " tavrix-cli hash --algo sh
expect "crc32,sha256 " tavrix-cli hash --algo crc32,sha2
expect "0x00 0xff " tavrix-cli hash --pad-to 4M --byte ""
expect "random " tavrix-cli set 1K --fill r
expect "--help --json " tavrix-cli info -
expect "-r " tavrix-cli set -r
expect "--io-blocks " tavrix-cli set --io
expect "" tavrix-cli info --f
expect "image.bin image.iso " tavrix-cli scan im
expect "other.txt " tavrix-cli set -r ot
expect "" tavrix-cli set -s ""
expect "" tavrix-cli frobnicate ""

if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
fi
echo "completion checks passed"
