# Tab completion for shotstamp-cli in bash (loaded on demand by bash-completion).

# The picture and video names shotstamp-cli works on, as an extended pattern; any letter case.
_shotstamp_cli_media='@(jpg|jpeg|jpe|heic|heif|hif|avif|cr3|tif|tiff|dng|cr2|nef|nrw|arw|srf|sr2|orf|rw2|pef|srw|3fr|erf|mef|mos|iiq|raf|png|webp|jxl|mp4|m4v|mov|3gp|3g2)'

# Offers folders and the files whose extension is one of the above.
_shotstamp_cli_media_files() {
    local cur=$1 entry
    local -a found=()
    local had_nocase=0 had_extglob=0
    shopt -q nocasematch && had_nocase=1
    shopt -q extglob && had_extglob=1
    shopt -s nocasematch extglob
    while IFS= read -r entry; do
        if [[ -d $entry ]]; then
            found+=("$entry/")
        elif [[ $entry == *.$_shotstamp_cli_media ]]; then
            found+=("$entry")
        fi
    done < <(compgen -f -- "$cur")
    ((had_nocase)) || shopt -u nocasematch
    ((had_extglob)) || shopt -u extglob
    COMPREPLY=("${found[@]}")
    # A folder is completed further, not closed with a blank.
    compopt -o nospace -o filenames 2>/dev/null
    local word
    for word in "${found[@]}"; do
        [[ $word == */ ]] || { compopt +o nospace 2>/dev/null; break; }
    done
}

# The values --date-from and --only take, each as a comma-separated list.
_shotstamp_cli_sources='exif digitized gps xmp name modified mtime'
_shotstamp_cli_kinds='jpg heic heif hif avif cr3 tif dng cr2 nef nrw arw srf sr2 orf rw2 pef srw 3fr
    erf mef mos iiq raf png webp jxl mp4 m4v mov 3gp 3g2'

# Offers the values for the item after the last comma of a list, the items before kept; no blank
# follows, so that another comma can.
_shotstamp_cli_list() {
    local cur=$1 values=$2 head=''
    [[ $cur == *,* ]] && head=${cur%,*},
    COMPREPLY=($(compgen -P "$head" -W "$values" -- "${cur##*,}"))
    compopt -o nospace 2>/dev/null
    return 0
}

# The values of the options that both info and rename take; true when the word was one of them.
_shotstamp_cli_date_values() {
    case $1 in
    --date-from) _shotstamp_cli_list "$2" "$_shotstamp_cli_sources" ;;
    --zone) COMPREPLY=($(compgen -W 'local utc' -- "$2")) ;; # or an offset: +HH:MM, -HH:MM
    --video-time) COMPREPLY=($(compgen -W 'local' -- "$2")) ;;
    *) return 1 ;;
    esac
    return 0
}

_shotstamp_cli() {
    local cur=${COMP_WORDS[COMP_CWORD]}
    local prev=${COMP_WORDS[COMP_CWORD - 1]}
    local commands='info rename undo history'
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W "$commands --help" -- "$cur"))
        return
    fi

    local command=${COMP_WORDS[1]} options='' i
    case $command in
    info)
        options='--json --date-from --zone --video-time --help --'
        _shotstamp_cli_date_values "$prev" "$cur" && return
        ;;
    rename)
        options='--prefix --format --subseconds --counter --companions --shift --into --copy
                 --only --date-from --zone --video-time --recursive --all-in-path --dry-run
                 --jobs --no-journal --json --quiet --help --'
        _shotstamp_cli_date_values "$prev" "$cur" && return
        case $prev in
        --only) _shotstamp_cli_list "$cur" "$_shotstamp_cli_kinds" && return ;;
        --prefix | --format | --shift | --jobs) return ;; # a value of the user's own
        --into)
            # A folder template: relative or absolute, so existing folders are a start.
            COMPREPLY=($(compgen -d -- "$cur"))
            compopt -o nospace -o filenames 2>/dev/null
            return
            ;;
        esac
        ;;
    undo) options='--dry-run --yes --help' ;;
    history) options='--help' ;;
    *) return ;;
    esac

    # After "--" every word is an operand.
    for ((i = 2; i < COMP_CWORD; i++)); do
        [[ ${COMP_WORDS[i]} == -- ]] && break
    done
    if ((i == COMP_CWORD)) && [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    case $command in
    info | rename) _shotstamp_cli_media_files "$cur" ;;
    undo)
        # The runs that can be undone, by the names history lists first on each line.
        COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" history 2>/dev/null | cut -d ' ' -f 1)" \
            -- "$cur"))
        ;;
    esac
}

complete -F _shotstamp_cli shotstamp-cli
