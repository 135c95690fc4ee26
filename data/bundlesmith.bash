# bash completion for bundlesmith
_bundlesmith()
{
    local cur prev words cword
    _init_completion || return

    if [[ $cword -eq 1 ]]; then
        if [[ $cur == -* ]]; then
            COMPREPLY=($(compgen -W '--help --version' -- "$cur"))
        else
            COMPREPLY=($(compgen -W 'pack' -- "$cur"))
            _filedir '@(plsc|xml)'
        fi
        return
    fi
    [[ ${words[1]} == pack ]] || return

    case $prev in
        --name | --description | --url | --version | --com | --dotnet | --exclude)
            return
            ;;
        --from)
            _filedir '@(plsc|xml)'
            return
            ;;
        -o | --output)
            _filedir plsc
            return
            ;;
    esac
    if [[ $cur == -* ]]; then
        COMPREPLY=($(compgen -W '--name --description --url --version --com --dotnet --from --exclude
            --no-default-excludes --strict --list --output --force --quiet --help' -- "$cur"))
        return
    fi
    _filedir
} &&
    complete -F _bundlesmith bundlesmith
