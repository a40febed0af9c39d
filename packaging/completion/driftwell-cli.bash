# bash completion for driftwell-cli.
# The options and format names are read from the program's own --help, so
# this file never falls behind the command line.

_driftwell_cli() {
    local cur prev words cword
    _init_completion || return

    local sub="" i
    for ((i = 1; i < cword; i++)); do
        case "${words[i]}" in
            render | info | new) sub="${words[i]}"; break ;;
        esac
    done

    if [[ -z $sub ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W 'render info new' -- "$cur"))
        fi
        return
    fi

    case $prev in
        -p | --project | --save-project)
            _filedir dwv
            return ;;
        -o | --output | --plan)
            _filedir
            return ;;
        --format)
            local formats
            formats=$("$1" render --help 2>/dev/null | sed -n 's/.*Output format: \([^(]*\).*/\1/p' | tr -d ',')
            COMPREPLY=($(compgen -W "$formats" -- "$cur"))
            return ;;
        --quality)
            COMPREPLY=($(compgen -W '0 1 2 3' -- "$cur"))
            return ;;
        --seed | --length | --volume | --threads | --loudness | --true-peak | --bitrate | --compression | \
        --title | --artist | --fade-in | --fade-out)
            return ;;
    esac

    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '$(_parse_help "$1" "$sub --help")' -- "$cur"))
        return
    fi
    case $sub in
        render) _filedir '@(wav|WAV|aif|AIF|aiff|AIFF|flac|FLAC|ogg|OGG|oga|opus|OPUS|mp3|MP3|mp2|MP2|mp1|MP1)' ;;
        info | new) _filedir dwv ;;
    esac
} && complete -F _driftwell_cli driftwell-cli
