#!/usr/bin/env bash
# Checks that includes between the rooms of src/platform go one way only:
# forms may use pictures and desktop, pictures may use desktop, desktop uses
# neither, and no room knows the program's windows.
set -euo pipefail
cd "$(dirname "$0")/../src/platform"

allowed() {
  case "$1" in
    forms) echo "forms pictures desktop" ;;
    pictures) echo "pictures desktop" ;;
    desktop) echo "desktop" ;;
  esac
}

status=0
for room in forms pictures desktop; do
  while IFS=: read -r file line include; do
    target=$(sed -E 's#.*"([a-z_]+)/([a-z]+/)?.*#\1 \2#' <<<"$include")
    top=${target%% *}
    sub=${target#* }
    sub=${sub%/}
    if [[ "$top" != platform ]]; then
      echo "$file:$line: a platform room includes the program's own $include" >&2
      status=1
    elif [[ " $(allowed "$room") " != *" $sub "* ]]; then
      echo "$file:$line: $room may not use $sub: $include" >&2
      status=1
    fi
  done < <(grep -n -H -E '^#include "[a-z_]+/' "$room"/* | sed -E 's/:#include /:/')
done
[[ $status -eq 0 ]] && echo "platform rooms: every include goes the allowed way"
exit $status
