#!/usr/bin/env bash
# Runs the tests of a build made with AddressSanitizer and
# UndefinedBehaviorSanitizer (make test-sanitized). Each report ends its
# process and is written to a folder, so that the reports of the metafile
# helper, whose error output the program discards, are seen too; any report
# fails the run, even where the test itself passed.
set -uo pipefail
build=$(realpath "$1")
jobs=${2:-2}
here=$(cd "$(dirname "$0")" && pwd)
reports=$build/sanitizer-reports
rm -rf "$reports"
mkdir -p "$reports"

# One process's reports, of either sanitizer, go to report.<its process id>.
export ASAN_OPTIONS="halt_on_error=1:detect_leaks=1:log_path=$reports/report"
export UBSAN_OPTIONS="halt_on_error=1:print_stacktrace=1:log_path=$reports/report"
export LSAN_OPTIONS="suppressions=$here/leak-suppressions.txt:print_suppressions=0"
export QT_QPA_PLATFORM=offscreen

(cd "$build" && ctest --output-on-failure -j "$jobs")
status=$?
# A process may open its file without reporting anything.
found=$(find "$reports" -type f -size +0 | sort)
if [[ -n "$found" ]]; then
  echo "Sanitizer reports:"
  for report in $found; do
    echo "== $report"
    cat "$report"
  done
  status=1
fi
exit $status
