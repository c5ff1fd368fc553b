#!/usr/bin/env bash
# The bash completion of tavrel, driven as bash drives it: COMP_WORDS and
# COMP_CWORD set, the function called, COMPREPLY read.
#   completion_test.sh COMPLETION_FILE [TAVREL]
# With TAVREL, each subcommand's options as its --help lists them must be
# the ones the completion offers, so that a new option is not forgotten.
set -u
export LC_ALL=C
completion=$(realpath "$1")
tavrel=${2:+$(realpath "$2")}

# shellcheck source=/dev/null
source "$completion" || exit 1

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work" || exit 1
touch game.tap other.TAP notes.txt prog.prg
mkdir sub

passed=0
failed=0
# Words one a line, sorted, on one line.
joined() { sort | paste -sd ' '; }

check() {  # NAME EXPECTED ACTUAL
    if [[ $2 == "$3" ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        printf 'FAIL %s\n  expected: %s\n  got:      %s\n' "$1" "$2" "$3"
    fi
}

# The completions for a command line typed up to the end (a trailing
# blank starts a new, empty word).
complete_line() {
    local line=$1
    read -r -a COMP_WORDS <<<"$line"
    [[ $line == *' ' ]] && COMP_WORDS+=('')
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
    COMP_LINE=$line
    COMP_POINT=${#line}
    COMPREPLY=()
    _tavrel
    printf '%s\n' "${COMPREPLY[@]}" | grep . | joined
}

# line | expected completions
cases=(
    'tavrel |index info make play ports'
    'tavrel i|index info'
    'tavrel -|--help --version'
    'tavrel --version p|play ports'
    'tavrel play -|--from --help --offset --port'
    'tavrel play --from |'
    'tavrel play --offset 0x|'
    'tavrel play |game.tap other.TAP sub'
    'tavrel play --from 2 g|game.tap'
    'tavrel info o|other.TAP'
    'tavrel index -|--help'
    'tavrel make |prog.prg sub'
    'tavrel make -|--demo --help -o'
    'tavrel make -o |game.tap notes.txt other.TAP prog.prg sub'
    'tavrel make -o out.tap p|prog.prg'
    'tavrel ports |'
    'tavrel ports -|--help'
    'tavrel bogus -|'
)
for entry in "${cases[@]}"; do
    line=${entry%%|*}
    check "'$line'" "${entry#*|}" "$(complete_line "$line")"
done

# --port=PATH: bash splits it at "=", the value is still a port.
COMP_WORDS=(tavrel play --port = '')
COMP_CWORD=4
COMPREPLY=()
_tavrel
ports=$(printf '%s\n' /dev/ttyACM* /dev/ttyUSB* /dev/cu.* | grep -v '\*' | joined)
check "'tavrel play --port='" "$ports" "$(printf '%s\n' "${COMPREPLY[@]}" | grep . | joined)"

check "registered for tavrel" "complete -F _tavrel tavrel" "$(complete -p tavrel)"

# Options named in `tavrel SUBCOMMAND --help` (its Options: part), without
# the -h that stands beside --help.
help_options() {
    "$tavrel" "$1" --help | awk '
        /^Options:/ { in_options = 1; next }
        /^[^ ]/     { in_options = 0 }
        in_options && $1 ~ /^-/ {
            n = split($1, names, ",")
            for (i = 1; i <= n; i++) if (names[i] != "-h") print names[i]
        }' | joined
}
if [[ -n $tavrel ]]; then
    for command in play ports index info make; do
        check "options of $command against --help" "$(help_options "$command")" \
            "$(complete_line "tavrel $command -")"
    done
fi

echo "$passed passed, $failed failed"
[[ $failed == 0 ]]
