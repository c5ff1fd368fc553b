# bash completion for tavrel: its subcommands, their options, tape and
# program files, and the serial ports that look like a device's.
# Needs nothing from the bash-completion package; installed as
# share/bash-completion/completions/tavrel, which loads it on first use.

# Files whose name matches the glob in $2 (any file when empty), and
# folders to walk into.
_tavrel_files() {
    local IFS=$'\n'
    compopt -o filenames 2>/dev/null
    if [[ -n $2 ]]; then
        COMPREPLY=($(compgen -d -- "$1") $(compgen -f -X "!$2" -- "$1"))
    else
        COMPREPLY=($(compgen -f -- "$1"))
    fi
}

# USB serial ports on Linux, call-out ports on macOS.
_tavrel_ports() {
    local IFS=$'\n' port ports=()
    for port in /dev/ttyACM* /dev/ttyUSB* /dev/cu.*; do
        [[ -e $port ]] && ports+=("$port")
    done
    COMPREPLY=($(compgen -W "${ports[*]}" -- "$1"))
}

_tavrel() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=
    ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}
    # --port=PATH arrives as three words, "=" being a word break.
    if [[ $cur == = ]]; then
        cur=
    fi
    if [[ $prev == = ]] && ((COMP_CWORD > 1)); then
        prev=${COMP_WORDS[COMP_CWORD - 2]}
    fi
    COMPREPLY=()

    # No global option takes a value, so the first word that is not an
    # option names the subcommand.
    local command= i
    for ((i = 1; i < COMP_CWORD; i++)); do
        if [[ ${COMP_WORDS[i]} != -* ]]; then
            command=${COMP_WORDS[i]}
            break
        fi
    done

    local options
    case $command in
        '')
            if [[ $cur == -* ]]; then
                COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
            else
                COMPREPLY=($(compgen -W 'play ports index info make' -- "$cur"))
            fi
            return
            ;;
        play)
            case $prev in
                --port) _tavrel_ports "$cur"; return ;;
                --from | --offset) return ;;  # a file on the tape or a number
            esac
            options='--port --from --offset --help'
            ;;
        make)
            if [[ $prev == -o ]]; then
                _tavrel_files "$cur" ''
                return
            fi
            options='-o --demo --help'
            ;;
        index | info) options='--help' ;;
        ports) options='--help' ;;
        *) return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
    elif [[ $command == make ]]; then
        _tavrel_files "$cur" '*.[pP][rR][gG]'
    elif [[ $command != ports ]]; then
        _tavrel_files "$cur" '*.[tT][aA][pP]'
    fi
}

complete -F _tavrel tavrel
