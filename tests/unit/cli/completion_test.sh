#!/usr/bin/env bash
# Sources the bash completion quorrel-cli wrote at build time and completes words with it, as
# bash does at a Tab: each row is the words typed and what the completion offers.
set -u
source "$1"
status=0
while IFS='|' read -r typed want; do
  read -r -a COMP_WORDS <<<"$typed"
  [[ $typed == *' ' ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _quorrel_cli
  got="${COMPREPLY[*]}"
  if [[ $got != "$want" ]]; then
    echo "'$typed' completes to '$got', not '$want'" >&2
    status=1
  fi
done <<'ROWS'
quorrel-cli sc|scan
quorrel-cli --ver|--version
quorrel-cli help set|set-network
quorrel-cli pib |show set defaults --help -h
quorrel-cli pib show --j|--json
quorrel-cli probe --j|--json
quorrel-cli map --interf|--interface
quorrel-cli add --password-s|--password-stdin
ROWS
exit $status
