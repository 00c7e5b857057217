#!/usr/bin/env bash
# The real program on a volume that does not answer: settings that start the
# browser in a folder on a FUSE volume whose stat, open, read, list and statfs
# all hang, on a display of its own with a window manager. The browser window
# must appear although the volume is listed and its folder never answers, and
# Esc typed in it must end the process although threads of it are stuck on
# that volume. Prints how long each took, for the log; the bounds are only
# there so that a program that never shows or never ends fails instead of
# hanging the run.
# Usage: scripts/check-hung-volume.sh BUILD-FOLDER (tavlo and tavlo_hung_volume built there).
# Needs root, /dev/fuse, Xvfb, openbox and xdotool; exits with 77 (skipped),
# saying why, without them.
set -euo pipefail

skipped=77
skip() {
  echo "check-hung-volume: skipped: $*"
  exit "$skipped"
}
fail() {
  echo "check-hung-volume: $*" >&2
  exit 1
}

build=$(cd "${1:?usage: check-hung-volume.sh BUILD-FOLDER}" && pwd)
[[ $(id -u) -eq 0 ]] || skip "mounting the FUSE volume needs root"
[[ -c /dev/fuse ]] || skip "there is no /dev/fuse to mount the volume with"
for tool in Xvfb openbox xdotool xprop unshare; do
  command -v "$tool" >/dev/null || skip "$tool is not installed"
done
for program in tavlo tavlo_hung_volume; do
  [[ -x "$build/$program" ]] || fail "$build/$program is not built"
done

# The volume goes into mounts of our own, so that nothing else on the
# machine (a desktop's volume monitor, another test) trips over it, and so
# that it is gone with us whatever happens.
if [[ -z ${TAVLO_CHECK_OWN_MOUNTS:-} ]]; then
  if TAVLO_CHECK_OWN_MOUNTS=1 unshare --mount --propagation private true 2>/dev/null; then
    TAVLO_CHECK_OWN_MOUNTS=1 exec unshare --mount --propagation private "$0" "$@"
  fi
fi

now() { echo $(($(date +%s%N) / 1000000)); }

work=$(mktemp -d)
volume_server="" program=""
# shellcheck source=own-display.sh
source "$(dirname "$0")/own-display.sh"
# Ends one process: TERM, then KILL after 5 s. Only for processes that wait
# on no held call: those are freed by ending the volume's server first.
end() {
  local pid=$1
  [[ -n $pid ]] || return 0
  kill -TERM "$pid" 2>/dev/null || return 0
  for _ in $(seq 100); do
    kill -0 "$pid" 2>/dev/null || break
    [[ $(cut -d' ' -f3 "/proc/$pid/stat" 2>/dev/null) == Z ]] && break
    sleep 0.05
  done
  kill -KILL "$pid" 2>/dev/null || true
  wait "$pid" 2>/dev/null || true
}
# The volume's server first: its held calls then fail, and whatever waited
# in them (the program, if it is still there) is free to end.
finish() {
  end "$volume_server"
  mountpoint -q "$work/volume" 2>/dev/null && umount -l "$work/volume" 2>/dev/null
  end "$program"
  for ((i = ${#display_processes[@]} - 1; i >= 0; i--)); do end "${display_processes[i]}"; done
  rm -rf --one-file-system "$work"
}
trap finish EXIT

# The volume: one folder with a photo in it; every kind of call held.
mkdir "$work/volume" && : >"$work/volume.out"
"$build/tavlo_hung_volume" "$work/volume" --hold stat,open,read,list,statfs --folder pictures \
  --file "pictures/photo.jpg=$(cd "$(dirname "$0")/.." && pwd)/tests/data/pillow_hopper.jpg" \
  >"$work/volume.out" 2>&1 &
volume_server=$!
for _ in $(seq 200); do
  grep -q '^mounted$' "$work/volume.out" && break
  kill -0 "$volume_server" 2>/dev/null || break
  sleep 0.05
done
if ! grep -q '^mounted$' "$work/volume.out"; then
  kill -0 "$volume_server" 2>/dev/null && fail "the volume was not mounted within 10 s"
  volume_server=""
  skip "the volume cannot be mounted here: $(cat "$work/volume.out")"
fi

# A display of our own, with a window manager on it.
own_display "$work" || fail "$own_display_failure"

# A home of our own, whose settings start the browser in the volume's folder.
own_home "$work" "$work/volume/pictures"

started=$(now)
"$build/tavlo" >"$work/tavlo.out" 2>&1 &
program=$!
running() { [[ -e /proc/$program && $(cut -d' ' -f3 "/proc/$program/stat" 2>/dev/null) != Z ]]; }
# The run itself goes on in a child of the started process, which only waits
# for it to say the run is over.
run=""

# (a) The window shows, mapped, within a minute.
window=""
deadline=$(($(now) + 60000))
while [[ -z $window && $(now) -lt $deadline ]]; do
  running || fail "the program ended before its window showed: $(cat "$work/tavlo.out")"
  run=$(pgrep -P "$program" | head -n1 || true)
  [[ -n $run ]] && window=$(xdotool search --all --onlyvisible --pid "$run" --name '^Tavlo$' 2>/dev/null | head -n1 || true)
  [[ -n $window ]] || sleep 0.05
done
[[ -n $window ]] || fail "no browser window within 60 s while its start folder does not answer"
appeared=$(($(now) - started))

# The run is waiting on the volume (a thread of it in a FUSE request): the
# window showed while the folder was unanswered, not after.
stuckThreads() {
  local task count=0
  for task in /proc/"$run"/task/*; do
    [[ $(cat "$task/wchan" 2>/dev/null) == *request_wait_answer* ]] && count=$((count + 1))
  done
  echo "$count"
}
for _ in $(seq 200); do [[ $(stuckThreads) -gt 0 ]] && break; sleep 0.05; done
[[ $(stuckThreads) -gt 0 ]] || fail "no thread of the program waits on the volume: did it read the start folder at all?"
xdotool search --all --onlyvisible --pid "$run" --name '^Tavlo$' >/dev/null ||
  fail "the window went while the folder was read"

# (b) Esc typed in the window ends the program the user started, whatever is
# stuck: its window goes and the process ends with code 0. Threads that wait
# in a call the volume holds cannot be ended by anyone, the kernel included,
# until the volume answers or goes; they stay behind in the run's own
# process, and nothing else of it.
timeout 20 xdotool windowactivate --sync "$window" || fail "the window could not be activated"
asked=$(now)
xdotool key Escape
deadline=$((asked + 10000))
while running && [[ $(now) -lt $deadline ]]; do sleep 0.02; done
running && fail "the program did not end within 10 s of Esc while a call to the volume hung"
ended=$(($(now) - asked))
code=0
wait "$program" || code=$?
program=""
[[ $code -eq 0 ]] || fail "the program ended with code $code: $(cat "$work/tavlo.out")"
xdotool search --all --onlyvisible --pid "$run" --name '^Tavlo$' >/dev/null &&
  fail "the program ended, its window still shows"
held=$(stuckThreads)

# Once the volume's server goes, its held calls fail and nothing of the run
# is left.
end "$volume_server"
volume_server=""
# Gone, or a zombie with no thread left, waiting to be reaped.
runLeft() {
  [[ -e /proc/$run ]] || return 1
  [[ $(cut -d' ' -f3 "/proc/$run/stat" 2>/dev/null) == Z && $(ls "/proc/$run/task" 2>/dev/null | wc -l) -le 1 ]] && return 1
  return 0
}
deadline=$(($(now) + 10000))
while runLeft && [[ $(now) -lt $deadline ]]; do sleep 0.02; done
runLeft && fail "the run's process is left 10 s after the volume went"

echo "check-hung-volume: the window appeared after $appeared ms with its start folder unanswered;" \
  "the program ended $ended ms after Esc, leaving $held thread(s) of its run in calls the volume held, gone when it went"
