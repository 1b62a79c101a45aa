# Tab completion for shotstamp-cli in fish.

set -l commands info rename undo history

# Folders, and the picture and video files shotstamp-cli works on, in any letter case.
function __shotstamp_cli_media_files
    set -l token (commandline -ct)
    for entry in (__fish_complete_path $token | string replace -r '\t.*' '')
        if string match -q -- '*/' $entry
            echo $entry
        else if string match -qri '\.(jpg|jpeg|jpe|heic|heif|hif|avif|cr3|tif|tiff|dng|cr2|nef|nrw|arw|srf|sr2|orf|rw2|pef|srw|3fr|erf|mef|mos|iiq|raf|png|webp|jxl|mp4|m4v|mov|3gp|3g2)$' -- $entry
            echo $entry
        end
    end
end

# The values given as arguments, each after the items of a comma-separated list already typed.
function __shotstamp_cli_list
    set -l token (commandline -ct | string replace -r -- '^--[a-z-]+=' '')
    set -l head (string match -r -- '^.*,' $token)
    for value in $argv
        echo $head$value
    end
end

set -l sources exif digitized gps xmp name modified mtime
set -l kinds jpg heic heif hif avif cr3 tif dng cr2 nef nrw arw srf sr2 orf rw2 pef srw 3fr erf mef mos iiq raf png webp jxl mp4 m4v mov 3gp 3g2

# The runs that can be undone, by the names history lists first on each line.
function __shotstamp_cli_runs
    command -q shotstamp-cli; or return
    shotstamp-cli history 2>/dev/null | string replace -r ' .*' ''
end

complete -c shotstamp-cli -f
complete -c shotstamp-cli -n "not __fish_seen_subcommand_from $commands" -l help -d 'describe the commands'
complete -c shotstamp-cli -n "not __fish_seen_subcommand_from $commands" -a info -d 'print the metadata the picture reader finds'
complete -c shotstamp-cli -n "not __fish_seen_subcommand_from $commands" -a rename -d 'rename pictures after the date they were taken'
complete -c shotstamp-cli -n "not __fish_seen_subcommand_from $commands" -a undo -d 'revert the last rename run, or a named one'
complete -c shotstamp-cli -n "not __fish_seen_subcommand_from $commands" -a history -d 'list the rename runs that can be undone'

complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -l json -d 'one JSON object per file and line'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -l date-from -x -a "(__shotstamp_cli_list $sources)" -d 'the date sources to try, in order'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -l zone -x -a 'local utc' -d 'the zone to write UTC times in'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -l video-time -x -a 'local' -d 'what a video header time means'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -l help -d 'print the help text'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from info' -a '(__shotstamp_cli_media_files)'

complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l prefix -x -d 'put this text in front of the date'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l format -x -d 'the name template: %Y %m %d %H %M %S %f %z %n %e %c %p %%'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l subseconds -d 'add the sub-second digits the camera wrote'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l counter -d 'use the first free -2, -3, ... when the name is taken'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l companions -d 'move RAW files, sidecars, clips and edits with the picture'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l shift -x -d 'correct a wrong camera clock: [-]HH:MM[:SS]'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l into -x -a '(__fish_complete_directories)' -d 'move into folders named by this template'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l copy -d 'copy the files instead of moving them (card import)'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l only -x -a "(__shotstamp_cli_list $kinds)" -d 'take only files of these kinds'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l date-from -x -a "(__shotstamp_cli_list $sources)" -d 'the date sources to try, in order'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l zone -x -a 'local utc' -d 'the zone to write UTC times in'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l video-time -x -a 'local' -d 'what a video header time means'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l recursive -d 'also walk the sub-folders of every folder'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l all-in-path -d 'rename every picture in the folder of the first file'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l dry-run -d 'change nothing; report what would happen'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l jobs -x -d 'read up to this many headers at once (1 to 64)'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l no-journal -d 'write no journal: the run cannot be undone'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l json -d 'report one JSON object per file and line'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l quiet -d 'show no progress line'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -l help -d 'print the help text'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from rename' -a '(__shotstamp_cli_media_files)'

complete -c shotstamp-cli -n '__fish_seen_subcommand_from undo' -l dry-run -d 'change nothing; report what would happen'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from undo' -l yes -d 'undo a run of another folder without asking'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from undo' -l help -d 'print the help text'
complete -c shotstamp-cli -n '__fish_seen_subcommand_from undo' -a '(__shotstamp_cli_runs)' -d 'rename run'

complete -c shotstamp-cli -n '__fish_seen_subcommand_from history' -l help -d 'print the help text'
