#!/usr/bin/env bash
# A recording through the real capture path: PortAudio reads the default
# input, which is the monitor of a private PulseAudio null sink into which a
# known signal is played in real time. The written file is checked with
# ffprobe and sox.
source "$(dirname "$0")/lib.sh"
W=$(scratch device)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
start_virtual_audio "$W"

# 1 kHz on the left, 1.5 kHz on the right, for longer than we record.
sox -n -r 44100 -c 2 -b 16 "$W/known.wav" synth 12 sine 1000 sine 1500 remix 1 2 vol 0.5 2>/dev/null
# Make sure the channels are what we think: left 1000, right 1500.
sox -n -r 44100 -c 1 -b 16 "$W/l.wav" synth 12 sine 1000 vol 0.5 2>/dev/null
sox -n -r 44100 -c 1 -b 16 "$W/r.wav" synth 12 sine 1500 vol 0.5 2>/dev/null
sox -M "$W/l.wav" "$W/r.wav" "$W/known.wav"

"$REC" --list-devices > "$W/devices.txt" 2>&1 || true
check "the virtual device is listed" grep -q "default" "$W/devices.txt"

bash "$VA" play "$W/known.wav" &
player=$!
sleep 0.5
"$REC" --record "$W/live.wav" --format 1 --rate 44100 --channels 2 --stop-after 0:0:6 > "$W/live.log" 2>&1
rc=$?
wait "$player" || true
cat "$W/live.log"
check "the recording succeeded" test "$rc" -eq 0
check "ffprobe: 44100 Hz" test "$(probe "$W/live.wav" sample_rate)" = 44100
check "ffprobe: 2 channels" test "$(probe "$W/live.wav" channels)" = 2
# Auto-stop after 6 s is 60 ticks of 100 ms: 60 blocks, none dropped, and
# exactly 6 s (264600 frames) in the file.
check "60 blocks recorded, none dropped" grep -qx "Recorded 1 clip(s), 60 block(s) of 100 ms; 0 block(s) dropped." "$W/live.log"
frames=$(soxi -s "$W/live.wav")
check "auto-stop after 6 s gives exactly 264600 frames ($frames)" test "$frames" = 264600

freq() { sox "$1" -n trim 1.5 3 remix "$2" stat 2>&1 | awk '/Rough/ { print $3 }'; }
rms() { sox "$1" -n trim 1.5 3 remix "$2" stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }
fl=$(freq "$W/live.wav" 1); fr=$(freq "$W/live.wav" 2)
check "the left channel carries 1 kHz ($fl Hz)" approx "$fl" 1000 15
check "the right channel carries 1.5 kHz ($fr Hz)" approx "$fr" 1500 20
rl=$(rms "$W/live.wav" 1)
check "at the level it was played ($rl RMS, 0.354 expected)" approx "$rl" 0.354 0.02

# Nothing but the signal: after a band-reject filter at each channel's tone
# the rest is near silence (no clicks, gaps or noise from the capture path).
# The played file itself leaves about 0.0045 (the filter's edges).
resid() { sox "$1" -n trim 1.5 3 remix "$2" sinc -n 8192 "$3" stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }
nl=$(resid "$W/live.wav" 1 1100-900); nr=$(resid "$W/live.wav" 2 1600-1400)
check "the left channel holds nothing but its tone (residue RMS $nl)" awk -v r="$nl" 'BEGIN { exit !(r < 0.008) }'
check "the right channel holds nothing but its tone (residue RMS $nr)" awk -v r="$nr" 'BEGIN { exit !(r < 0.008) }'

finish
