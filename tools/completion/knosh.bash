# Bash completion for knosh: its options, read from `knosh -h`; files for -c,
# directories for --root.

_knosh() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    case $prev in
    -c) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --root) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    -r | -l | -s | -e | --connect | --listen | --port) return ;;
    esac
    local options
    options=$("${COMP_WORDS[0]}" -h 2>/dev/null | grep -o -- '^  -[-a-zA-Z]*\(, --[a-z]*\)\?' | tr -d ',')
    COMPREPLY=($(compgen -W "$options" -- "$cur"))
}
complete -o filenames -F _knosh knosh
