#!/usr/bin/env bash
# Recording from the sound server's sources through the command line: the
# private PulseAudio daemon of virtual-audio.sh with its null sink plus a
# second one, "second". Tones played into each sink tell the monitors apart.
source "$(dirname "$0")/lib.sh"
W=$(scratch sound_server)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
start_virtual_audio "$W"
module=$(bash "$VA" add-sink second)

sox -n -r 44100 -c 2 -b 16 "$W/first.wav" synth 12 sine 1000 vol 0.5 2>/dev/null
sox -n -r 44100 -c 2 -b 16 "$W/second.wav" synth 12 sine 1500 vol 0.5 2>/dev/null
rms() { sox "$1" -n trim "$2" "$3" remix 1 stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }
freq() { sox "$1" -n trim "$2" "$3" remix "$4" stat 2>&1 | awk '/Rough/ { print $3 }'; }
# What is left of a channel after a band-reject filter around its tone.
resid() { sox "$1" -n trim 1.5 3 remix "$2" sinc -n 8192 "$3" stat 2>&1 | awk '/RMS +amplitude/ { print $3 }'; }

"$REC" --list-devices > "$W/devices.txt" 2>&1 || true
cat "$W/devices.txt"
check "--list-devices names the first sink's monitor" \
  grep -q "^  \* tarvexa_sink.monitor  \[Monitor of Tarvexa_virtual_sink, 2 channel(s), 44100 Hz\]" "$W/devices.txt"
check "--list-devices names the second sink's monitor" \
  grep -q "^    second.monitor  \[Monitor of second, 2 channel(s), 44100 Hz\]" "$W/devices.txt"

# --- the monitor chosen by name records its own sink's tone only -----------
bash "$VA" play "$W/first.wav" &
p1=$!
bash "$VA" play "$W/second.wav" second &
p2=$!
sleep 0.5
capture "$REC" --record "$W/tone.wav" --format 1 --rate 44100 --channels 2 \
  --device second.monitor --stop-after 0:0:5
wait "$p1" "$p2" || true
echo "$out"
check "recording from second.monitor succeeded" test "$rc" -eq 0
for ch in 1 2; do
  f=$(freq "$W/tone.wav" 1.5 3 "$ch")
  check "channel $ch carries the second sink's 1.5 kHz ($f Hz)" approx "$f" 1500 20
  r=$(resid "$W/tone.wav" "$ch" 1600-1400)
  check "channel $ch holds nothing of the first sink's 1 kHz (residue RMS $r)" \
    awk -v r="$r" 'BEGIN { exit !(r < 0.008) }'
done

# --- the source is unloaded during the recording and comes back -----------
bash "$VA" play "$W/second.wav" second &
sleep 0.3
"$REC" --record "$W/gone.wav" --format 1 --rate 44100 --channels 2 \
  --device second.monitor --stop-after 0:0:10 > "$W/gone.log" 2>&1 &
rec=$!
sleep 2
pactl unload-module "$module"
sleep 2
module=$(bash "$VA" add-sink second)
bash "$VA" play "$W/second.wav" second &
wait "$rec" || true
cat "$W/gone.log"
check "the vanished source is reported as an error" grep -q \
  'ERROR The input source "Monitor of second" has gone away (removed from the sound server); the recording waits for it to come back.' \
  "$W/gone.log"
check "its return is reported" grep -q 'WARN  The input source "Monitor of second" is back after [0-9.]* s; the recording goes on.' "$W/gone.log"
check "the recording still stopped on time" grep -q "Automatically stop recording." "$W/gone.log"
check "the file decodes cleanly" decodes_cleanly "$W/gone.wav"
d=$(duration "$W/gone.wav")
check "the time it was gone is kept: 9.8 to 10 s in all ($d s)" awk -v d="$d" 'BEGIN { exit !(d >= 9.8 && d <= 10.0001) }'
before=$(rms "$W/gone.wav" 0.5 1); gap=$(rms "$W/gone.wav" 2.8 1); after=$(rms "$W/gone.wav" 7.8 1.8)
check "the tone before it went ($before RMS)" approx "$before" 0.354 0.02
check "silence while it was gone ($gap RMS)" test "$gap" = "0.000000"
check "the tone after it came back ($after RMS)" approx "$after" 0.354 0.02

# --- gone for good: Ctrl+C still stops at once, and the file is whole -----
"$REC" --record "$W/lost.wav" --format 1 --device second.monitor > "$W/lost.log" 2>&1 &
rec=$!
sleep 1.5
pactl unload-module "$module"
sleep 1.5
t0=$(date +%s%N)
kill -INT "$rec"
wait "$rec" || true
ms=$((($(date +%s%N) - t0) / 1000000))
check "Ctrl+C while the source is gone ends the recording within 2 s ($ms ms)" test "$ms" -lt 2000
check "... with a file that decodes cleanly" decodes_cleanly "$W/lost.wav"

# --- names that are not there ------------------------------------------------
capture "$REC" --record "$W/none.wav" --format 1 --device no.such.monitor --stop-after 0:0:5
check "an unknown --device name is refused" test "$rc" -ne 0
check "... with its name" grep -q 'No input device or sound-server source is called "no.such.monitor"' <<<"$out"
check "... and nothing is recorded" test ! -e "$W/none.wav"

printf '[MISC]\nInputSourceName=unplugged.monitor\n' > "$TARVEXA_HOME/Config.ini"
capture "$REC" --record "$W/stale.wav" --format 1 --stop-after 0:0:5
echo "$out"
check "a saved source that is gone falls back to the default device" test "$rc" -eq 0
check "... with a line" grep -q 'WARN  The input source "unplugged.monitor" is not available; the default input device is used instead.' <<<"$out"
check "... and records from it" decodes_cleanly "$W/stale.wav"

finish
