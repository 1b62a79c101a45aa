#!/usr/bin/env bash
# The shell completions of shotstamp-cli against the program itself: every command and option its
# help texts name is offered by bash and fish (asked through their own completion machinery) and
# listed in the zsh file, and nothing else; bash completes a few prefixes and filters the file
# operands by extension; zsh and fish accept their files.
# Usage: completions_test.sh SHOTSTAMP_CLI COMPLETIONS_DIR
set -euo pipefail
source "$(dirname "$0")/lib.sh"
cli=$(realpath "$1")
dir=$(realpath "$2")
need_tools zsh fish
bash_completion=/usr/share/bash-completion/bash_completion
[ -f "$bash_completion" ] || fail "bash-completion is not installed (scripts/install-deps.sh test)"
commands=(info rename undo history)
problems=0
differ() { # what, expected (one per line), got (one per line)
    [ "$2" = "$3" ] && return 0
    echo "FAIL: $1: expected [$(echo $2)] got [$(echo $3)]" >&2
    problems=1
}
words() { grep -v '^$' | grep -vx -- -- | sort -u || true; }

# Words bash offers for the line (the cursor at its end), one per line, sorted.
bash_offers() {
    bash -c '
        source "$1"; source "$2"; line=$3
        read -ra COMP_WORDS <<<"$line"
        [[ $line == *" " ]] && COMP_WORDS+=("")
        COMP_CWORD=$((${#COMP_WORDS[@]} - 1)) COMP_LINE=$line COMP_POINT=${#line}
        _shotstamp_cli shotstamp-cli "${COMP_WORDS[COMP_CWORD]}" "${COMP_WORDS[COMP_CWORD - 1]}"
        printf "%s\n" "${COMPREPLY[@]}"' _ "$bash_completion" "$dir/shotstamp-cli.bash" "$1" |
        words
}
fish_offers() {
    fish -c "source $dir/shotstamp-cli.fish; complete -C'$1'" | cut -f 1 | words
}
# The options of one command's block in the zsh file.
zsh_options() {
    sed -n "/^        $1)/,/;;/p" "$dir/_shotstamp-cli" | grep -oE "'(\([^)]*\))?-{1,2}[a-z][a-z0-9-]*" |
        sed -E "s/^'(\([^)]*\))?//" | words
}

# Commands, from the program's overview.
listed=$(printf '%s\n' "${commands[@]}" | sort)
differ "commands in 'shotstamp-cli --help'" "$listed" \
    "$("$cli" --help | sed -nE 's/^  ([a-z]+) .*/\1/p' | sort)"
differ "bash: shotstamp-cli <Tab>" "$(printf '%s\n' "${commands[@]}" --help | sort)" \
    "$(bash_offers 'shotstamp-cli ')"
differ "fish: shotstamp-cli <Tab>" "$listed" "$(fish_offers 'shotstamp-cli ')"
differ "zsh: commands" "$listed" \
    "$(sed -nE "s/^        '([a-z]+):.*/\1/p" "$dir/_shotstamp-cli" | sort)"

# Options, from each command's help text: long options wherever they are named, short ones
# where a line starts with one, and --help, which every command takes.
for command in "${commands[@]}"; do
    help=$("$cli" "$command" --help)
    options=$({
        echo --help
        grep -oE -- '(^|[^a-z0-9-])--[a-z][a-z0-9-]*' <<<"$help" | sed -E 's/^[^-]//'
        grep -oE -- '^ +-[a-zA-Z]\b' <<<"$help" | tr -d ' ' || true
    } | words)
    differ "bash: shotstamp-cli $command -<Tab>" "$options" "$(bash_offers "shotstamp-cli $command -")"
    differ "fish: shotstamp-cli $command -<Tab>" "$options" "$(fish_offers "shotstamp-cli $command -")"
    differ "zsh: options of $command" "$options" "$(zsh_options "$command")"
done

# A few prefixes as a user types them.
differ "bash: shotstamp-cli ren<Tab>" rename "$(bash_offers 'shotstamp-cli ren')"
differ "bash: shotstamp-cli rename --dr<Tab>" --dry-run "$(bash_offers 'shotstamp-cli rename --dr')"
differ "bash: shotstamp-cli rename --c<Tab>" "$(printf '%s\n' --companions --copy --counter)" \
    "$(bash_offers 'shotstamp-cli rename --c')"
differ "bash: shotstamp-cli rename --prefix <Tab>" "" "$(bash_offers 'shotstamp-cli rename --prefix ')"
# Comma-separated lists: the item after the last comma is completed, the ones before are kept.
differ "bash: shotstamp-cli rename --date-from exif,g<Tab>" exif,gps \
    "$(bash_offers 'shotstamp-cli rename --date-from exif,g')"
differ "bash: shotstamp-cli rename --only jpg,h<Tab>" "$(printf '%s\n' jpg,heic jpg,heif jpg,hif)" \
    "$(bash_offers 'shotstamp-cli rename --only jpg,h')"
differ "fish: shotstamp-cli info --date-from exif,m<Tab>" "$(printf '%s\n' exif,modified exif,mtime)" \
    "$(fish_offers 'shotstamp-cli info --date-from exif,m')"
differ "bash: shotstamp-cli rename -- --<Tab>" "" "$(bash_offers 'shotstamp-cli rename -- --')"

# File operands: folders and the supported extensions in any letter case, nothing else.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
mkdir "$tree/Trip 2024"
touch "$tree/a.JPG" "$tree/b.Heic" "$tree/c.cr3" "$tree/d.MoV" "$tree/notes.txt" "$tree/jpg" \
    "$tree/e.jpg.bak" "$tree/Trip 2024/f.dng"
cd "$tree"
differ "bash: shotstamp-cli rename <Tab> (pictures and folders)" \
    "$(printf '%s\n' 'Trip 2024/' a.JPG b.Heic c.cr3 d.MoV)" "$(bash_offers 'shotstamp-cli rename ')"
differ "bash: shotstamp-cli info Trip<Tab> (a folder with a blank)" "Trip 2024/" \
    "$(bash_offers 'shotstamp-cli info Trip')"
differ "fish: shotstamp-cli info <Tab>" "$(printf '%s\n' 'Trip 2024/' a.JPG b.Heic c.cr3 d.MoV)" \
    "$(fish_offers 'shotstamp-cli info ')"

# Each shell's own syntax check.
zsh -n "$dir/_shotstamp-cli" || fail "zsh -n rejects _shotstamp-cli"
fish --no-execute "$dir/shotstamp-cli.fish" || fail "fish --no-execute rejects shotstamp-cli.fish"
bash -n "$dir/shotstamp-cli.bash" || fail "bash -n rejects shotstamp-cli.bash"
[ "$problems" = 0 ] || fail "the completions do not match shotstamp-cli (see above)"
echo "completions: bash, zsh and fish offer every command and option shotstamp-cli names"
