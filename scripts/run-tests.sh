#!/usr/bin/env bash
# Runs CTest in a build folder and fails unless every test ran and passed.
#
#   scripts/run-tests.sh BUILD_DIR [ctest arguments...]
#
# A skipped test (CTest's "Skipped" or "Disabled") fails the run, unless
# every skip in it states that the test cannot apply on this machine at
# all: its output then holds a line starting "CANNOT APPLY HERE: " and none
# starting "SKIPPED: " (tests/support/TestSupport.h, tests/e2e/lib.sh).
# No test at all is an error as well.
set -euo pipefail
BUILD_DIR="${1:?usage: run-tests.sh BUILD_DIR [ctest arguments...]}"
shift
BUILD_DIR="$(cd "$BUILD_DIR" && pwd)"
out="$BUILD_DIR/Testing/ctest-output.txt"
mkdir -p "$BUILD_DIR/Testing"

rc=0
(cd "$BUILD_DIR" && ctest --no-tests=error --output-on-failure --timeout 900 "$@") 2>&1 | tee "$out" || rc=$?

# The output of one test in CTest's log of the last run.
test_output() {
  awk -v t="$1" '
    $0 ~ "^[0-9]+/[0-9]+ Testing: " && substr($0, index($0, "Testing: ") + 9) == t { on = 1; next }
    on && index($0, "\"" t "\" end time:") == 1 { exit }
    on { print }' "$BUILD_DIR/Testing/Temporary/LastTest.log"
}

skipped=$(sed -n '/^The following tests did not run:/,/^$/p' "$out" |
  sed -nE 's/^[[:space:]]*[0-9]+ - (.+) \((Skipped|Disabled)\)$/\1/p')
bad=0
for t in $skipped; do
  text="$(test_output "$t")"
  if grep -q '^CANNOT APPLY HERE: ' <<<"$text" && ! grep -q '^SKIPPED: ' <<<"$text"; then
    grep '^CANNOT APPLY HERE: ' <<<"$text" | sed "s/^/accepted skip of $t: /"
  else
    echo "FAILED: $t skipped without stating that it cannot apply on this machine:"
    grep -E '^(SKIPPED|CANNOT APPLY HERE): ' <<<"$text" | sed 's/^/  /' || echo "  (it gave no reason)"
    bad=1
  fi
done
if [ "$rc" -ne 0 ]; then exit "$rc"; fi
if [ "$bad" -ne 0 ]; then exit 1; fi
