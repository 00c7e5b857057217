#!/usr/bin/env bash
# Checks that includes between the rooms of the program go one way only.
#
# Inside src/platform: forms may use pictures and desktop, pictures may use
# desktop, desktop uses neither, and no room there knows the program's own
# rooms. Above it, each floor uses only those below it: startup (the shared
# variables and the program's identity), then the windows (dialogs and the
# viewer, then the browser, which opens them), then app, the entry, which
# opens the windows.
set -euo pipefail
cd "$(dirname "$0")/../src"

allowed() {
  case "$1" in
    platform/forms) echo "platform/forms platform/pictures platform/desktop" ;;
    platform/pictures) echo "platform/pictures platform/desktop" ;;
    platform/desktop) echo "platform/desktop" ;;
    startup) echo "platform startup" ;;
    dialogs) echo "platform startup dialogs" ;;
    viewer) echo "platform startup viewer" ;;
    browser) echo "platform startup dialogs viewer browser" ;;
    app) echo "platform startup dialogs viewer browser app" ;;
  esac
}

status=0
for room in platform/forms platform/pictures platform/desktop startup dialogs viewer browser app; do
  while IFS=: read -r file line include; do
    target=$(sed -E 's#^"([a-z_]+(/[a-z]+)?)/.*#\1#' <<<"$include")
    [[ "$target" == platform/* || "$room" != platform/* ]] || { echo "$file:$line: a platform room includes the program's own $include" >&2; status=1; continue; }
    ok=false
    for allowedRoom in $(allowed "$room"); do
      [[ "$target" == "$allowedRoom" || "$target" == "$allowedRoom"/* ]] && ok=true
    done
    # A room inside platform is named with its own folder; above it, platform's rooms all count as "platform".
    [[ "$room" != platform/* && "$target" == platform/* ]] && ok=true
    if ! $ok; then
      echo "$file:$line: $room may not use $target: $include" >&2
      status=1
    fi
  done < <(grep -n -H -E '^#include "[a-z_]+/' "$room"/* | sed -E 's/:#include /:/')
done
[[ $status -eq 0 ]] && echo "rooms: every include goes the allowed way"
exit $status
