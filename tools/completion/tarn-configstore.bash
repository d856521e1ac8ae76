# Bash completion for tarn-configstore. Subcommands, their options and
# keywords are read from the program's own --help, so completion follows the
# installed program; generation numbers and object names come from the store
# of the host root given with --root (else $TARN_ROOT, else /).

_tarn_configstore() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local prog=${COMP_WORDS[0]} i command="" root=()
    for ((i = 1; i < COMP_CWORD; i++)); do
        case ${COMP_WORDS[i]} in
        --root) root=(--root "${COMP_WORDS[i + 1]}"); ((i++)) ;;
        --root=*) root=("${COMP_WORDS[i]}") ;;
        -*) ;;
        *) command=${COMP_WORDS[i]}; break ;;
        esac
    done

    if [[ -z $command ]]; then
        if [[ $prev == --root ]]; then
            COMPREPLY=($(compgen -d -- "$cur"))
            return
        fi
        local words
        words=$("$prog" --help 2>/dev/null | awk '/^commands:/ {on = 1; next} on && !NF {exit} on {print $1}')
        COMPREPLY=($(compgen -W "$words --root --help --version" -- "$cur"))
        return
    fi

    # The synopsis, e.g. "rollback [GEN]" or "cleanup store|live-store|...".
    local synopsis
    synopsis=$("$prog" "$command" --help 2>/dev/null | sed -n '1s/^usage: [^]]*] [^ ]*//p' | tr '[]|.' '    ')
    local word placeholders="" words="--help"
    for word in $synopsis; do
        if [[ $word == [A-Z]* ]]; then placeholders+=" $word"; else words+=" $word"; fi
    done
    # After an option that takes an argument, only that argument.
    if [[ $prev == -* ]] && [[ " $synopsis " == *" $prev "[A-Z]* ]]; then
        word=${synopsis#* $prev }
        placeholders=${word%% *}
        words=""
    fi
    COMPREPLY=($(compgen -W "$words" -- "$cur"))
    for word in $(printf '%s\n' $placeholders | sort -u); do
        case $word in
        GEN) COMPREPLY+=($(compgen -W "$("$prog" "${root[@]}" generations 2>/dev/null | cut -f1 | grep -x '[0-9]*')" -- "$cur")) ;;
        OBJECT) COMPREPLY+=($(compgen -W "$("$prog" "${root[@]}" schemas 2>/dev/null | cut -f1)" -- "$cur")) ;;
        FILE | PATH | ARCHIVE | TARDISK | SRC | DST | DIR) COMPREPLY+=($(compgen -f -- "$cur")) ;;
        esac
    done
}
complete -o filenames -F _tarn_configstore tarn-configstore
