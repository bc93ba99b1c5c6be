# bash completion for quillmark-cli: verbs, their options and actions, profile names, files.
# The words come from the program itself ("quillmark-cli __complete ..."), so they follow its
# verb table; installed as share/bash-completion/completions/quillmark-cli.

_quillmark_cli() {
    local cur prev words cword
    if declare -F _init_completion >/dev/null 2>&1; then
        _init_completion -n = || return
    else
        cur="${COMP_WORDS[COMP_CWORD]}"
        prev="${COMP_WORDS[COMP_CWORD-1]}"
        words=("${COMP_WORDS[@]}")
        cword=$COMP_CWORD
    fi
    local program="${words[0]}"

    # The verb, the words after it, and a --data-dir given on the line (profiles live there).
    local verb="" datadir=() i
    local -a args=()
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            --data-dir) datadir=(--data-dir "${words[i+1]}"); ((i++)) ;;
            --data-dir=*) datadir=("${words[i]}") ;;
            --profile|--name|--refname|--corrupted|--fixdat) ((i++)) ;;
            -*) ;;
            *) if [[ -z $verb ]]; then verb="${words[i]}"; else args+=("${words[i]}"); fi ;;
        esac
    done

    local IFS=$'\n'
    case "$prev" in
        --profile)
            COMPREPLY=($(compgen -W "$("$program" "${datadir[@]}" __complete profiles 2>/dev/null)" -- "$cur"))
            return ;;
        --data-dir)
            COMPREPLY=($(compgen -d -- "$cur"))
            return ;;
        --fixdat)
            COMPREPLY=($(compgen -f -- "$cur"))
            return ;;
        --name|--refname)
            return ;;
    esac
    if [[ $cur == --corrupted=* ]]; then
        COMPREPLY=($(compgen -W $'--corrupted=ignore\n--corrupted=delete\n--corrupted=move:' -- "$cur"))
        compopt -o nospace 2>/dev/null
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W "$("$program" __complete options "$verb" 2>/dev/null)" -- "$cur"))
        return
    fi
    if [[ -z $verb ]]; then
        COMPREPLY=($(compgen -W "$("$program" __complete verbs 2>/dev/null)" -- "$cur"))
        return
    fi
    case "$verb" in
        help)
            [[ ${#args[@]} -eq 0 ]] &&
                COMPREPLY=($(compgen -W "$("$program" __complete verbs 2>/dev/null)" -- "$cur")) ;;
        use)
            [[ ${#args[@]} -eq 0 ]] &&
                COMPREPLY=($(compgen -W "$("$program" "${datadir[@]}" __complete profiles 2>/dev/null)" -- "$cur")) ;;
        profiles)
            if [[ ${#args[@]} -eq 0 ]]; then
                COMPREPLY=($(compgen -W $'add\nremove' -- "$cur"))
            elif [[ ${args[0]} == remove ]]; then
                COMPREPLY=($(compgen -W "$("$program" "${datadir[@]}" __complete profiles 2>/dev/null)" -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        paths)
            if [[ ${#args[@]} -eq 0 ]]; then
                COMPREPLY=($(compgen -W $'list\nadd\nremove' -- "$cur"))
            else
                COMPREPLY=($(compgen -d -- "$cur"))
            fi ;;
        zip)
            if [[ ${#args[@]} -eq 0 ]]; then
                COMPREPLY=($(compgen -W 'list' -- "$cur"))
            else
                COMPREPLY=($(compgen -f -- "$cur"))
            fi ;;
        import-emulator)
            if [[ ${#args[@]} -eq 0 ]]; then
                COMPREPLY=($(compgen -W $'mame\nraine' -- "$cur"))
            else
                COMPREPLY=($(compgen -c -- "$cur"))
            fi ;;
        report)
            [[ ${#args[@]} -eq 0 ]] && COMPREPLY=($(compgen -W "$("$program" __complete reports 2>/dev/null)" -- "$cur")) ;;
        export-neogeo|update-cd)
            COMPREPLY=($(compgen -d -- "$cur")) ;;
        crc|import-dat)
            COMPREPLY=($(compgen -f -- "$cur")) ;;
    esac
}
complete -F _quillmark_cli quillmark-cli
