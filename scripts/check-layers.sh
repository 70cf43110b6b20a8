#!/usr/bin/env bash
# Checks that the folders of src/ depend on each other in one direction only:
#
#   platform <- net, results, check, repair, settings <- engine <- app <- gui, cli
#
# Inside the middle layer results lies below check, repair and settings, and
# check below settings. A folder may include (#include "folder/...") only the
# folders listed for it below; a new folder must be added to the table. Only
# src/gui may include Qt.
# Usage: scripts/check-layers.sh [SRC_DIR]
set -euo pipefail
src=${1:-"$(dirname "$0")/../src"}

core="platform net results check repair settings engine app"
declare -A allowed=(
  [platform]="platform"
  [net]="platform net"
  [results]="platform results"
  [check]="platform results check"
  [repair]="platform results repair"
  [settings]="platform results check settings"
  [engine]="platform net results check repair settings engine"
  [app]="$core"
  [cli]="$core cli"
  [gui]="$core gui"
)

status=0
fail() {
  echo "check-layers: $*" >&2
  status=1
}

while IFS= read -r dir; do
  folder=${dir##*/}
  [ -n "${allowed[$folder]+set}" ] || fail "$folder/: the folder has no row in the table"
done < <(find "$src" -mindepth 1 -maxdepth 1 -type d)

include='^[[:space:]]*#[[:space:]]*include[[:space:]]*'
while IFS= read -r hit; do
  rel=${hit#"$src"/}
  folder=${rel%%/*}
  rest=${rel#*:}
  place=${rel%%:*}:${rest%%:*}  # folder/file:line
  text=${rest#*:}
  if [[ $text =~ $include\"([A-Za-z_]+)/ ]]; then
    used=${BASH_REMATCH[1]}
    case " ${allowed[$folder]:-} " in
      *" $used "*) ;;
      *) fail "$place: $folder may not include $used/" ;;
    esac
  elif [ "$folder" != gui ]; then
    fail "$place: only src/gui may include Qt"
  fi
done < <(grep -rnE --include='*.h' --include='*.cpp' "$include(\"[A-Za-z_]+/|<Q)" "$src"/*/)

[ $status -ne 0 ] || echo "check-layers: the folders of src/ depend in one direction"
exit $status
