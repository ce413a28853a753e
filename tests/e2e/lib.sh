# Shared helpers of the end-to-end tests (sourced).
set -euo pipefail
: "${TARVEXA_BIN:?}" "${TARVEXA_TEST_WORK:?}" "${TARVEXA_SOURCE_DIR:?}"
REC="$TARVEXA_BIN/TarvexaSoundRecorder"
FAILS=0
PASSES=0

ok() { PASSES=$((PASSES + 1)); echo "ok - $*"; }
fail() { FAILS=$((FAILS + 1)); echo "FAIL - $*"; }
check() { local what="$1"; shift; if "$@"; then ok "$what"; else fail "$what"; fi; }
finish() { echo "$PASSES passed, $FAILS failed"; [ "$FAILS" -eq 0 ]; }

scratch() { local d="$TARVEXA_TEST_WORK/e2e_$1"; rm -rf "$d"; mkdir -p "$d"; echo "$d"; }

# ffprobe field of the first audio stream.
probe() { ffprobe -v error -select_streams a:0 -show_entries "stream=$2" -of default=nw=1:nk=1 "$1" | head -n1; }
# Duration in seconds from the container.
duration() { ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1"; }
# Checksum of the decoded 16-bit PCM samples.
pcm_md5() { sox "$1" -t s16 -e signed -b 16 - 2>/dev/null | md5sum | cut -d' ' -f1; }
# Floating compare: approx A B TOL
approx() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }
