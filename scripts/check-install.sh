#!/usr/bin/env bash
# Installs the built program into a temporary DESTDIR and checks what a desktop
# gets from it: every file in its place, the desktop entry and the AppStream
# metainfo valid, the icon at every size, the manual page; the installed
# program, started from there with a metafile, opening the viewer with the
# helper it finds from its own place; and "Open With": with the installed
# entry the default for JPEG, "gio open photo.jpg" starts Tavlo's viewer on it.
# Usage: scripts/check-install.sh BUILD-FOLDER (the program built there).
set -euo pipefail

build=$(cd "${1:?usage: check-install.sh BUILD-FOLDER}" && pwd)
source=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
started=()
# The programs end before the display they show on.
finish() {
  for ((i = ${#started[@]} - 1; i >= 0; i--)); do
    kill "${started[i]}" 2>/dev/null || continue
    for _ in $(seq 100); do
      kill -0 "${started[i]}" 2>/dev/null || break
      sleep 0.05
    done
  done
  rm -rf "$work"
}
trap finish EXIT
fail() {
  echo "check-install: $*" >&2
  exit 1
}

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
usr="$work/root/usr"

# The tree.
for file in bin/tavlo libexec/tavlo/tavlo-metafile-helper libexec/tavlo/tavlo-decoder share/applications/tavlo.desktop \
  share/metainfo/io.github.tavlo.Tavlo.metainfo.xml share/man/man1/tavlo.1.gz share/doc/tavlo/copyright \
  share/doc/tavlo/changelog.gz; do
  [[ -s "$usr/$file" ]] || fail "$file is not installed"
done
for program in bin/tavlo libexec/tavlo/tavlo-metafile-helper libexec/tavlo/tavlo-decoder; do
  [[ -x "$usr/$program" ]] || fail "$program cannot be run"
done
for size in 16 22 24 32 48 64 128 256; do
  icon="$usr/share/icons/hicolor/${size}x${size}/apps/tavlo.png"
  [[ -s "$icon" ]] || fail "no ${size}x${size} icon"
  # A PNG's width and height are the big-endian words at bytes 16 and 20.
  read -r -a bytes < <(od -An -tu1 -j16 -N8 "$icon")
  width=$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))
  height=$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))
  [[ $width == "$size" && $height == "$size" ]] || fail "the ${size}x${size} icon is ${width}x${height}"
done
desktop-file-validate "$usr/share/applications/tavlo.desktop" || fail "the desktop entry is not valid"
appstreamcli validate --no-net "$usr/share/metainfo/io.github.tavlo.Tavlo.metainfo.xml" >/dev/null ||
  fail "the metainfo is not valid"
# The metainfo, its desktop entry and icon found together, as software centres do.
appstreamcli validate-tree --no-net "$work/root" >/dev/null || fail "the installed tree is not valid AppStream"
manual_warnings=$(zcat "$usr/share/man/man1/tavlo.1.gz" | groff -man -Tutf8 -ww -z 2>&1)
[[ -z $manual_warnings ]] || fail "the manual page: $manual_warnings"

# The two command lines that are not a path.
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")
[[ "$("$usr/bin/tavlo" --version)" == "Tavlo $version" ]] || fail "--version does not print Tavlo $version"
[[ "$("$usr/bin/tavlo" --help)" == "Usage: tavlo [PICTURE]"* ]] || fail "--help prints no usage"

# A display of our own, and a home of our own for settings and associations.
exec 3>"$work/display"
# -noreset: the server would otherwise start anew when its last client leaves,
# refusing the next one meanwhile.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset >/dev/null 2>&1 &
started+=($!)
exec 3>&-
for _ in $(seq 100); do [[ -s "$work/display" ]] && break; sleep 0.1; done
[[ -s "$work/display" ]] || fail "Xvfb did not start"
export DISPLAY=":$(head -n1 "$work/display")"
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
export HOME="$work/home" XDG_CONFIG_HOME="$work/home/.config" XDG_DATA_HOME="$work/home/.local/share"
export XDG_DATA_DIRS="$usr/share:/usr/share" PATH="$usr/bin:$PATH" GIO_USE_VFS=local
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -p "$XDG_CONFIG_HOME" "$XDG_DATA_HOME" && mkdir -m 0700 "$XDG_RUNTIME_DIR"

# The viewer window ("Preview") once it shows, and the process showing it.
viewer_window() {
  for _ in $(seq 150); do
    window=$(xwininfo -root -children 2>/dev/null | sed -n 's/^ *\(0x[0-9a-f]*\) "Preview":.*/\1/p' | head -n1)
    [[ -n $window ]] && return
    sleep 0.1
  done
}
process_of() { xprop -id "$1" _NET_WM_PID 2>/dev/null | sed -n 's/.* = //p' || true; }

# The installed program with a metafile: the viewer opens, drawn by the
# installed helper, and the viewer window carries the program's icon.
cp "$source/tests/data/metafiles/libgdiplus_test.wmf" "$work/drawing.wmf"
"$usr/bin/tavlo" "$work/drawing.wmf" &
started+=($!)
viewer_window
# The run goes on in a child of the started process (see LeavingProcess).
run=$(process_of "$window")
[[ -n $window && "$(ps -o ppid= -p "$run" 2>/dev/null | tr -d ' ')" == "${started[-1]}" ]] ||
  fail "the installed program did not open the viewer on a metafile"
# Its helpers: the metafile helper, and the decoder workers started with it.
helpers=$(for child in $(pgrep -P "$run"); do readlink "/proc/$child/exe"; done | sort -u)
grep -qx "$usr/libexec/tavlo/tavlo-metafile-helper" <<<"$helpers" || fail "the metafile was not drawn by the installed helper"
grep -qx "$usr/libexec/tavlo/tavlo-decoder" <<<"$helpers" || fail "no installed decoder worker was started"
[[ $(grep -vcx "$usr/libexec/tavlo/tavlo-\(metafile-helper\|decoder\)" <<<"$helpers") == 0 ]] ||
  fail "the program started other programs: $helpers"
# _NET_WM_ICON holds width, height and the pixels of each size in turn.
icons=$(xprop -id "$window" -len 1000000 -f _NET_WM_ICON 32c _NET_WM_ICON | sed 's/.*= //' | tr -d ' ' | tr ',' '\n' |
  awk '{ v[NR] = $1 } END { for (n = 1; n < NR; n += 2 + v[n] * v[n + 1]) print v[n] "x" v[n + 1] }' |
  sort -n | tr '\n' ' ')
[[ $icons == "16x16 22x22 24x24 32x32 48x48 64x64 128x128 256x256 " ]] ||
  fail "the viewer window's icon has the sizes $icons"
kill "${started[-1]}"
wait "${started[-1]}" 2>/dev/null || true
for _ in $(seq 100); do
  xwininfo -id "$window" >/dev/null 2>&1 || break
  sleep 0.05
done

# Open With: Tavlo is offered for its types once the desktop's cache is
# updated (make install and the package's trigger do it), and, made the
# default for JPEG, opens a photo.
update-desktop-database "$usr/share/applications"
for type in image/png image/x-win-bitmap image/wmf; do
  [[ "$(gio mime "$type")" == *$'\n\ttavlo.desktop'* ]] || fail "Open With does not offer Tavlo for $type"
done
cp "$source/tests/data/pillow_hopper.jpg" "$work/photo.jpg"
gio mime image/jpeg tavlo.desktop >/dev/null
gio open "$work/photo.jpg"
viewer_window
[[ -n $window ]] || fail "gio open photo.jpg did not open Tavlo's viewer"
pid=$(process_of "$window")
started+=("$pid")
[[ "$(readlink "/proc/$pid/exe")" == "$usr/bin/tavlo" ]] || fail "gio open started another program"
[[ "$(tr '\0' '\n' <"/proc/$pid/cmdline" | tail -n1)" == "$work/photo.jpg" ]] || fail "gio open gave Tavlo another file"
echo "check-install: the installed files, desktop entry, metainfo, viewer with its helper and Open With are right"
