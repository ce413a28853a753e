#!/usr/bin/env bash
# The command line applies the DSP settings of Config.ini, and every output
# family takes the resampled blocks, which are longer than captured ones
# (checked with decoders of others: sox, ffprobe).
source "$(dirname "$0")/lib.sh"
W=$(scratch dsp)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"

sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 2 sine 440 sine 660 vol 0.5 2>/dev/null
peak() { sox "$1" -n stat 2>&1 | awk '/Maximum amplitude/ { print $3 }'; }

# Amplification 150 and resampling 250: 2 s become 5 s at 0.75 of full scale.
printf '[DSP]\nAmp=1\nAmpN=150\nRes=1\nResN=250\n' > "$TARVEXA_HOME/Config.ini"
for f in 1:wav 6:flac 4:ogg 12:wv 2:mp3 7:mp2; do
  code=${f%%:*} ext=${f##*:}
  "$REC" --record "$W/out$code.$ext" --input-file "$W/in.wav" --fast --format "$code" > "$W/out$code.log"
  check "$ext: resampled to 5 s" approx "$(duration "$W/out$code.$ext")" 5 0.06
done
check "WAV: exactly 2.5 times the frames" test "$(soxi -s "$W/out1.wav")" = 220500
check "WAV: amplified to 0.75 of full scale" approx "$(peak "$W/out1.wav")" 0.75 0.01
check "FLAC: amplified to 0.75 of full scale" approx "$(peak "$W/out6.flac")" 0.75 0.01

finish
