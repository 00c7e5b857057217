# Sourced by the scripts that look at the program as a user would.
# own_home FOLDER START: a home of their own in FOLDER, whose remembered
# settings start the browser in the START folder, every file listed.
own_home() {
  export HOME="$1/home" XDG_CONFIG_HOME="$1/home/.config" XDG_RUNTIME_DIR="$1/runtime"
  mkdir -p "$XDG_CONFIG_HOME/Tavlo" && mkdir -m 0700 "$XDG_RUNTIME_DIR"
  printf '[Settings]\nRemember=Yes\nStartPath=%s/\nConfirmRename=1\nConfirmDelete=1\nCommandFullSize=1\nFilter=6\nHidden=0\n' \
    "$2" >"$XDG_CONFIG_HOME/Tavlo/Tavlo.ini"
}

# own_display FOLDER: a display of their own, Xvfb with openbox managing its
# windows, its notes kept in FOLDER. Sets DISPLAY for Qt's X11 platform and
# adds the two servers' process ids to the array display_processes, window
# manager last, for the caller to end. Where either cannot start it returns
# non-zero with the reason in own_display_failure.
display_processes=()
own_display_failure=""
own_display() {
  local work=$1 manager
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
  display_processes+=($!)
  exec 3>&-
  for _ in $(seq 200); do [[ -s "$work/display" ]] && break; sleep 0.05; done
  if [[ ! -s "$work/display" ]]; then
    own_display_failure="Xvfb did not start within 10 s"
    return 1
  fi
  export DISPLAY=":$(head -n1 "$work/display")"
  unset WAYLAND_DISPLAY
  export QT_QPA_PLATFORM=xcb
  # The server may say its number a moment before it lets clients in: a
  # window manager that could not connect is started again.
  for _ in $(seq 5); do
    openbox --sm-disable >"$work/openbox.out" 2>&1 &
    manager=$!
    for _ in $(seq 200); do
      if xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; then
        display_processes+=("$manager")
        return 0
      fi
      kill -0 "$manager" 2>/dev/null || break
      sleep 0.05
    done
    kill "$manager" 2>/dev/null
    wait "$manager" 2>/dev/null
    sleep 0.2
  done
  own_display_failure="openbox did not start on $DISPLAY: $(cat "$work/openbox.out")"
  return 1
}
