# bash completion for tavrix-cli: commands, each command's options, the
# values of --byte, --align, --fill and --algo, and files.

_tavrix_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local option=$prev
    # "--byte=0x": bash splits the word at "=", so the option is two back.
    if [[ $cur == = ]]; then
        option=$prev
        cur=
    elif [[ $prev == = ]]; then
        option=${COMP_WORDS[COMP_CWORD - 2]}
    fi

    if ((COMP_CWORD == 1)); then
        mapfile -t COMPREPLY < <(compgen -W 'scan trim set create info hash --help --version' -- "$cur")
        return
    fi

    case $option in
        --byte)
            local bytes='0x00 0xff 0x00,0xff auto'
            [[ ${COMP_WORDS[1]} == hash ]] && bytes='0x00 0xff'
            mapfile -t COMPREPLY < <(compgen -W "$bytes" -- "$cur")
            return
            ;;
        --align)
            mapfile -t COMPREPLY < <(compgen -W 'pow2 512 4K 64K 1M' -- "$cur")
            return
            ;;
        --fill)
            mapfile -t COMPREPLY < <(compgen -W 'zero random 0x00 0xff' -- "$cur")
            return
            ;;
        --algo)
            # A comma-separated list: complete the name after the last comma.
            local listed=${cur%"${cur##*,}"}
            mapfile -t COMPREPLY < <(compgen -P "$listed" -W 'crc32 md5 sha1 sha256' -- "${cur##*,}")
            return
            ;;
        --seed | --size | -s | --pad-to)
            return
            ;;
        --reference | -r)
            compopt -o filenames 2>/dev/null
            mapfile -t COMPREPLY < <(compgen -f -- "$cur")
            return
            ;;
    esac

    local options
    case ${COMP_WORDS[1]} in
        scan) options='--byte --json' ;;
        trim) options='--byte --align --dry-run --json' ;;
        set) options='-s --size -r --reference -o --io-blocks -c --no-create --fill --seed --dry-run --json' ;;
        create) options='--fill --seed --json' ;;
        info) options='--json' ;;
        hash) options='--algo --pad-to --byte --json' ;;
        *) return ;;
    esac
    if [[ $cur == -* ]]; then
        mapfile -t COMPREPLY < <(compgen -W "$options --help" -- "$cur")
    else
        compopt -o filenames 2>/dev/null
        mapfile -t COMPREPLY < <(compgen -f -- "$cur")
    fi
}

complete -F _tavrix_cli tavrix-cli
