#!/usr/bin/env bash
# Down held over a folder of 2,000 large photos in the real browser window,
# against feh paging through the same folder with the same burst.
#   make bench-held-key        (or: bench/held-key.sh BUILD-FOLDER, tavlo built there)
#
# On a virtual display with a window manager, at most 1,024 open files: the
# browser starts in the folder with its first photo previewed, Down is typed
# 3,000 times at 500 a second (XTest, as a held key's repeats reach the
# window), and the time is taken from the first key until the preview shows
# the last row's photo. Meanwhile the browser's open descriptors, threads and
# main-thread stack are sampled: before, their peak during, and after.
# Then feh on the same files with the same burst of its "next image" key
# (Right), held at its last photo instead of wrapping around, as the list
# is. feh drops the keys that come while it loads a photo, so it does not
# get far: its time is until the photo it ends on shows (the picture's last
# change), and the table says which photo that is.
#
# The photos are 12 megapixels (4000 x 3000), photograph-like (ImageMagick's
# plasma, rolled and tinted into 40 distinct ones, JPEG quality 90) and
# hard-linked to 2,000 names; the first and the last are solid cyan and solid
# magenta, which the screen is watched for. Made once into
# BUILD-FOLDER/held-key-pictures.
set -euo pipefail

build=$(cd "${1:?usage: held-key.sh BUILD-FOLDER}" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
KEYS=${HELD_KEY_COUNT:-3000}
RATE=${HELD_KEY_RATE:-500}
PHOTOS=2000
DISTINCT=40
ulimit -n 1024

for tool in Xvfb openbox xdotool xwininfo feh convert /usr/bin/python3; do
  command -v "$tool" >/dev/null || { echo "held-key: $tool is not installed" >&2; exit 1; }
done
/usr/bin/python3 -c 'import Xlib' 2>/dev/null || { echo "held-key: python3-xlib is not installed" >&2; exit 1; }

# ---------------------------------------------------------------- the photos

pictures="$build/held-key-pictures"
folder="$pictures/photos"
if [[ ! -e "$folder/p$(printf %04d $((PHOTOS - 1))).jpg" ]]; then
  echo "held-key: making $DISTINCT distinct 12 MP photos and $PHOTOS names for them (once)"
  rm -rf "$pictures"
  mkdir -p "$pictures/distinct" "$folder"
  convert -size 2000x1500 -seed 11 plasma:fractal "$pictures/tile.png"
  # Mirrored two by two, without seams.
  convert "$pictures/tile.png" \( +clone -flop \) +append \( +clone -flip \) -append +repage -depth 8 "$pictures/base.png"
  for ((i = 0; i < DISTINCT; i++)); do
    convert "$pictures/base.png" -roll "+$((i * 397 % 4000))+$((i * 211 % 3000))" \
      -modulate "100,$((90 + i % 3 * 10)),$((60 + i * 2))" -quality 90 "$pictures/distinct/d$(printf %02d "$i").jpg"
  done
  convert -size 4000x3000 xc:'#00ffff' -quality 90 "$pictures/first.jpg"
  convert -size 4000x3000 xc:'#ff00ff' -quality 90 "$pictures/last.jpg"
  rm "$pictures/tile.png" "$pictures/base.png"
  for ((i = 0; i < PHOTOS; i++)); do
    if ((i == 0)); then source="$pictures/first.jpg"
    elif ((i == PHOTOS - 1)); then source="$pictures/last.jpg"
    else source="$pictures/distinct/d$(printf %02d $((i % DISTINCT))).jpg"; fi
    ln "$source" "$folder/p$(printf %04d "$i").jpg"
  done
fi

# ---------------------------------------------------------------- the display

work=$(mktemp -d)
started=()
# shellcheck source=../scripts/own-display.sh
source "$(dirname "$0")/../scripts/own-display.sh"
finish() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    kill "${started[i]}" 2>/dev/null || continue
    for _ in $(seq 100); do kill -0 "${started[i]}" 2>/dev/null || break; sleep 0.05; done
    kill -KILL "${started[i]}" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "held-key: $*" >&2
  exit 1
}

own_display "$work" || fail "$own_display_failure"
started+=("${display_processes[@]}")
own_home "$work" "$folder"

# The window of the process once it shows, activated.
window_of() {
  local window=""
  for _ in $(seq 600); do
    window=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n1 || true)
    [[ -n $window ]] && break
    sleep 0.05
  done
  [[ -n $window ]] || fail "no window of $2 within 30 s"
  xdotool windowactivate --sync "$window"
  echo "$window"
}
# The window's top left corner on the screen: "X Y".
corner_of() {
  xwininfo -id "$1" | awk '/Absolute upper-left X/ { x = $NF } /Absolute upper-left Y/ { y = $NF } END { print x, y }'
}
# A three by three grid of points around the centre, W and H apart.
grid() {
  local x=$1 y=$2 w=$3 h=$4 points=""
  for dy in -1 0 1; do for dx in -1 0 1; do points+="$((x + dx * w)),$((y + dy * h)) "; done; done
  echo "$points"
}
value() { sed -n "s/^$1=//p" "$2"; }
# With HELD_KEY_SHOTS=FOLDER, the screen at the end of each burst, to look at.
shot() { [[ -z ${HELD_KEY_SHOTS:-} ]] || import -window root "$HELD_KEY_SHOTS/held-key-$1.png"; }

# ---------------------------------------------------------------- Tavlo

"$build/tavlo" >"$work/tavlo.out" 2>&1 &
started+=($!)
# The run goes on in a child of the started process, whose window it is.
tavlo=""
for _ in $(seq 200); do
  tavlo=$(pgrep -P "${started[-1]}" -x tavlo | head -n1 || true)
  [[ -n $tavlo ]] && break
  sleep 0.05
done
[[ -n $tavlo ]] || fail "the program's run did not start"
window=$(window_of "$tavlo" '^Tavlo$')
read -r left top < <(corner_of "$window")
# The layout at 15 twips a pixel: the file list from (210, 38), the preview
# box of 109 pixels at (416, 72), a 4:3 photo fitted into it 82 pixels high.
# The first row clicked, once the folder is listed, until its photo shows.
points=$(grid $((left + 470)) $((top + 126)) 20 12)
for _ in $(seq 30); do
  xdotool mousemove $((left + 240)) $((top + 46)) click 1
  /usr/bin/python3 "$here/held_key_burst.py" --points "$points" --start 00ffff --only-wait 1 && break
done
echo "held-key: Tavlo: $KEYS x Down at $RATE a second over $PHOTOS photos"
/usr/bin/python3 "$here/held_key_burst.py" --key Down --count "$KEYS" --rate "$RATE" --moving-keys $((PHOTOS - 1)) \
  --points "$points" --start 00ffff --target ff00ff --pid "$tavlo" --after 2,25 \
  --timeout 600 | tee "$work/tavlo.result" || fail "the Tavlo burst did not end on the last photo"
shot tavlo
xdotool key Escape
for _ in $(seq 200); do kill -0 "${started[-1]}" 2>/dev/null || break; sleep 0.05; done

# ---------------------------------------------------------------- feh

# feh drops the keys that come while it loads a photo, so where it ends is
# known only once it has stopped: the time is until its picture last changed.
feh --on-last-slide hold --scale-down --geometry 800x600 --no-menus "$folder"/p*.jpg >"$work/feh.out" 2>&1 &
feh=$!
started+=("$feh")
window=$(window_of "$feh" '^feh')
read -r left top < <(corner_of "$window")
echo "held-key: feh: $KEYS x Right at $RATE a second over $PHOTOS photos"
/usr/bin/python3 "$here/held_key_burst.py" --key Right --count "$KEYS" --rate "$RATE" \
  --points "$(grid $((left + 400)) $((top + 300)) 150 100)" --start 00ffff --settle 3 \
  --timeout 1800 | tee "$work/feh.result" || fail "the feh burst did not settle"
shot feh
reached=$(xdotool getwindowname "$window" | sed -n 's/^feh \[\([0-9]*\) of.*/\1/p')

# ---------------------------------------------------------------- the table

ours=$(value shown_seconds "$work/tavlo.result")
theirs=$(value shown_seconds "$work/feh.result")
numbers() { value "$1" "$work/tavlo.result" | awk '{ print $1 " / " $2 " / " $3 " / " $4 }'; }
echo
echo "| Held key: $KEYS presses at $RATE/s over $PHOTOS 12 MP JPEGs, ulimit -n 1024 | Tavlo | feh | Ratio |"
echo "|---|---|---|---|"
echo "| First key until the photo it ends on shows | $ours s | $theirs s | $(awk -v a="$ours" -v b="$theirs" 'BEGIN { printf "%.2fx", a / b }') |"
echo "| The photo it ends on | $PHOTOS of $PHOTOS (the last row) | $reached of $PHOTOS | |"
echo "| That photo shown after the last key that could move there | $(value after_last_moving_key_ms "$work/tavlo.result") ms | $(value after_last_moving_key_ms "$work/feh.result") ms | |"
echo "| Keys sent a second (achieved) | $(value key_rate "$work/tavlo.result") | $(value key_rate "$work/feh.result") | |"
echo "| Tavlo open descriptors: before / peak / 2 s after / 25 s after | $(numbers descriptors) | | |"
echo "| Tavlo threads: before / peak / 2 s after / 25 s after | $(numbers threads) | | |"
echo "| Tavlo main-thread stack (VmStk kB): before / peak / 2 s after / 25 s after | $(numbers stack_kb) | | |"
