# bash completion for comutel: the board's commands and the options, as the first word only.
# Later words are sent to the board as they are typed, so nothing is offered for them.
_comutel()
{
    COMPREPLY=()
    ((COMP_CWORD == 1)) || return 0
    mapfile -t COMPREPLY < <(compgen -W '1 2 3 4 5 6 7 8 E R --help --version --ports' \
        -- "${COMP_WORDS[COMP_CWORD]}")
}
complete -F _comutel comutel
