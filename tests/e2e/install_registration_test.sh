#!/usr/bin/env bash
# `cmake --install` registers the installed components, so that the installed
# recorder starts without a manual step; a staged install (DESTDIR) registers
# the final paths.
source "$(dirname "$0")/lib.sh"
W=$(scratch install)
BUILD=$(dirname "$TARVEXA_BIN")
NAMES="SndAudioRecord2 SndAudioTransform2 SndAudioVisualization2 SndAudioVisualizationEx2 SndWMAFile2 WMAFileInformation2"

capture cmake --install "$BUILD" --prefix "$W/prefix"
check "cmake --install succeeds" test "$rc" -eq 0
APP="$W/prefix/lib/tarvexa-sound-recorder"
for f in TarvexaSoundRecorder Mendrik tarvexa-register; do check "$f is installed" test -x "$APP/$f"; done
for n in $NAMES; do
  check "$n is registered where it is installed" grep -qx "$n=$APP/components/$n.so" "$APP/components/components.reg"
done

capture env DESTDIR="$W/stage" cmake --install "$BUILD" --prefix /opt/tarvexa
check "a staged install succeeds" test "$rc" -eq 0
for n in $NAMES; do
  check "$n is registered with its final path" grep -qx "$n=/opt/tarvexa/lib/tarvexa-sound-recorder/components/$n.so" \
    "$W/stage/opt/tarvexa/lib/tarvexa-sound-recorder/components/components.reg"
done

# The installed window gets past its components (the event log says so) and
# is then ended as a desktop session would end it.
mkdir -p "$W/home" "$W/run"
chmod 700 "$W/run"
LOG="$W/home/Tarvexa Sound Recorder.log"
TARVEXA_HOME="$W/home" XDG_RUNTIME_DIR="$W/run" QT_QPA_PLATFORM=offscreen \
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$W/no-bus" DBUS_SESSION_BUS_ADDRESS="unix:path=$W/no-bus" \
  "$APP/TarvexaSoundRecorder" > "$W/window.out" 2>&1 &
pid=$!
for _ in $(seq 100); do grep -q "Initializing audio devices" "$LOG" 2>/dev/null && break; sleep 0.2; done
check "the installed recorder creates its components" grep -q "Initializing audio devices" "$LOG"
check "... without a component error" bash -c '! grep -q "Error on" "$1"' _ "$LOG"
kill -TERM "$pid" 2>/dev/null || true
for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.2; done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
# The installed trees are large; the logs stay for a look after a failure.
[ "$FAILS" -eq 0 ] && rm -rf "$W/prefix" "$W/stage"
finish
