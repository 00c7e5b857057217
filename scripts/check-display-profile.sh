#!/usr/bin/env bash
# The display's colour profile read from a real X server: the platform tests'
# display-profile case run on a display of its own (Xvfb), whose root window
# it may change, as it must never change the user's.
# Usage: scripts/check-display-profile.sh BUILD-FOLDER (platform_tests built there).
# Exits with 77 (skipped), saying why, without Xvfb or openbox.
set -euo pipefail

build=$(cd "${1:?usage: check-display-profile.sh BUILD-FOLDER}" && pwd)
for tool in Xvfb openbox xprop; do
  command -v "$tool" >/dev/null || { echo "check-display-profile: skipped: $tool is not installed"; exit 77; }
done
work=$(mktemp -d)
source "$(dirname "$0")/own-display.sh"
finish() {
  for process in "${display_processes[@]}"; do kill "$process" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap finish EXIT
own_display "$work" || { echo "check-display-profile: $own_display_failure" >&2; exit 1; }

out=$(TAVLO_TEST_PLATFORM=xcb TAVLO_TEST_OWN_DISPLAY=1 "$build/platform_tests" \
  --gtest_filter='DisplayProfile.*' 2>&1) || { echo "$out" >&2; exit 1; }
echo "$out" | grep -q '^\[  PASSED  \] 1 test' && ! echo "$out" | grep -q SKIPPED ||
  { echo "$out" >&2; echo "check-display-profile: the case did not run" >&2; exit 1; }
echo "check-display-profile: the root window's profile read as set, on $DISPLAY"
