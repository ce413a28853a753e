# Shared helpers of the end-to-end tests (sourced).
set -euo pipefail
: "${TARVEXA_BIN:?}" "${TARVEXA_TEST_WORK:?}" "${TARVEXA_SOURCE_DIR:?}"
REC="$TARVEXA_BIN/TarvexaSoundRecorder"
FAILS=0
PASSES=0

ok() { PASSES=$((PASSES + 1)); echo "ok - $*"; }
fail() { FAILS=$((FAILS + 1)); echo "FAIL - $*"; }
check() { local what="$1"; shift; if "$@"; then ok "$what"; else fail "$what"; fi; }
finish() {
  echo "$PASSES passed, $FAILS failed"
  if [ "$PASSES" -eq 0 ] && [ "$FAILS" -eq 0 ]; then echo "FAIL - no check ran"; return 1; fi
  [ "$FAILS" -eq 0 ]
}
# A script that cannot apply on this machine at all (never one whose tool
# or device is missing: that fails) stops here with the reason. CTest shows
# it as skipped (exit 77), and CI accepts the skip only in this form.
cannot_apply_here() { echo "CANNOT APPLY HERE: $(basename "$0" .sh): $*"; exit 77; }

scratch() { local d="$TARVEXA_TEST_WORK/e2e_$1"; rm -rf "$d"; mkdir -p "$d"; echo "$d"; }

# ffprobe field of the first audio stream.
probe() { ffprobe -v error -select_streams a:0 -show_entries "stream=$2" -of default=nw=1:nk=1 "$1" | head -n1; }
# Duration in seconds from the container.
duration() { ffprobe -v error -show_entries format=duration -of default=nw=1:nk=1 "$1"; }
# Checksum of the decoded 16-bit PCM samples.
pcm_md5() { sox "$1" -t s16 -e signed -b 16 - 2>/dev/null | md5sum | cut -d' ' -f1; }
# Floating compare: approx A B TOL
approx() { awk -v a="$1" -v b="$2" -v t="$3" 'BEGIN { d = a - b; if (d < 0) d = -d; exit !(d <= t) }'; }

# Runs a command; its output (standard and error) goes to $out, its exit
# status to $rc, whatever the status.
capture() { rc=0; out=$("$@" 2>&1) || rc=$?; }
# Runs a command under `ulimit -f $1`: the file-size limit stands in for a full disk.
with_file_limit() { (ulimit -f "$1"; shift; exec "$@"); }
# Starts the recorder with the arguments after $1 and $2 (its output goes to
# the file $1) and kills it after $2 seconds.
record_then_kill() {
  local log="$1" seconds="$2"
  shift 2
  "$REC" "$@" > "$log" 2>&1 &
  local pid=$!
  sleep "$seconds"
  kill -9 "$pid"
  wait "$pid" 2>/dev/null || true
}
# True when FFmpeg decodes the whole file without a complaint.
decodes_cleanly() { [ -z "$(ffmpeg -v error -i "$1" -f null - 2>&1)" ]; }

# Starts the private virtual sound card (tests/support/virtual-audio.sh),
# its files under $1/audio, exports its environment and stops it when the
# script ends; $VA is the script, for "play", "add-sink" and the like.
# A card that cannot be started fails the test.
start_virtual_audio() {
  VA="$TARVEXA_SOURCE_DIR/tests/support/virtual-audio.sh"
  export TARVEXA_AUDIO_DIR="$1/audio"
  local env_text
  if ! env_text=$(bash "$VA" start); then
    echo "the virtual capture device could not be started"
    exit 1
  fi
  eval "$env_text"
  trap 'bash "$VA" stop >/dev/null 2>&1 || true' EXIT
}
