# Bash completion for linkward-cli. The options are read from the installed
# program's own --help, so the list never falls behind the program.
_linkward_cli() {
  local cur=${COMP_WORDS[COMP_CWORD]}
  local prev=${COMP_WORDS[COMP_CWORD-1]}
  case $prev in
    --report)
      COMPREPLY=($(compgen -f -- "$cur"))
      return
      ;;
    --repair)
      COMPREPLY=($(compgen -W '0 1 2' -- "$cur"))
      return
      ;;
  esac
  # An option that takes a value is written with it in capitals in --help.
  if [[ $prev == --* ]] && "${COMP_WORDS[0]}" --help 2>/dev/null |
      grep -Eq -- "^ +$prev [A-Z]"; then
    COMPREPLY=()
    return
  fi
  if [[ $cur == -* ]]; then
    COMPREPLY=($(compgen -W "$("${COMP_WORDS[0]}" --help 2>/dev/null |
      grep -Eo -- '^ +--?[a-z][a-z-]*' | tr -d ' ')" -- "$cur"))
    return
  fi
  COMPREPLY=($(compgen -f -- "$cur"))
}
complete -F _linkward_cli -o filenames linkward-cli
