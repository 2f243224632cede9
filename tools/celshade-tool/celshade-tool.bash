# bash completion for celshade-tool: subcommands, their options, and file names where a file
# or folder is expected (models, shaders, pictures).

_celshade_tool() {
    local cur=${COMP_WORDS[COMP_CWORD]} prev=${COMP_WORDS[COMP_CWORD-1]}
    local command=${COMP_WORDS[1]}
    local IFS=$'\n'
    COMPREPLY=()
    if ((COMP_CWORD == 1)); then
        COMPREPLY=($(compgen -W $'info\nedges\nrender\nasm\n--help\n--version' -- "$cur"))
        return
    fi
    case $prev in
    --out-dir) COMPREPLY=($(compgen -d -- "$cur")); return ;;
    -o | --out) COMPREPLY=($(compgen -f -- "$cur")); return ;;
    --size | --yaw | --pitch | --zoom | --threshold | --frames | --fps | --quality | --time-limit) return ;;
    esac
    if [[ $cur == -* ]]; then
        local options
        case $command in
        render) options=$'-o\n--out-dir\n--size\n--yaw\n--pitch\n--zoom\n--threshold\n--no-overlay\n--frames\n--turntable\n--fps\n--quality\n--time-limit\n--help' ;;
        edges) options=$'--threshold\n--out\n--time-limit\n--help' ;;
        info) options=$'--time-limit\n--help' ;;
        *) options=$'--help' ;;
        esac
        COMPREPLY=($(compgen -W "$options" -- "$cur"))
        return
    fi
    COMPREPLY=($(compgen -f -- "$cur"))
    compopt -o filenames 2>/dev/null
}

complete -F _celshade_tool celshade-tool
