# bash completion for morvessa-query                                  -*- shell-script -*-
_morvessa_query()
{
    local cur prev words cword
    _init_completion || return

    case $prev in
        --folder)
            _filedir -d
            return
            ;;
        --format)
            COMPREPLY=($(compgen -W 'text tsv json' -- "$cur"))
            return
            ;;
        --color)
            COMPREPLY=($(compgen -W 'auto always never' -- "$cur"))
            return
            ;;
        -C | --context | -m | --max-count | --max-hits | --page)
            return
            ;;
        -h | --help | -V | -v | --version)
            return
            ;;
    esac

    # After "--" every word is the query's.
    local i
    for ((i = 1; i < cword; i++)); do
        [[ ${words[i]} == -- ]] && return
    done

    if [[ $cur == --*=* ]]; then
        case ${cur%%=*} in
            --format) COMPREPLY=($(compgen -W 'text tsv json' -- "${cur#*=}")) ;;
            --color) COMPREPLY=($(compgen -W 'auto always never' -- "${cur#*=}")) ;;
            --folder) cur=${cur#*=}; _filedir -d ;;
        esac
        return
    fi
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--folder --variants -c --count -C --context -m --max-count
            --max-hits --color --page --format --explain -h --help -V --version --' -- "$cur"))
    fi
} && complete -F _morvessa_query morvessa-query
