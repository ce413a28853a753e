#!/usr/bin/env bash
# APE through the command line: a recording killed mid-way keeps every whole
# frame, bit for bit (the rest is in tests/unit/ape_writer_test.cpp).
source "$(dirname "$0")/lib.sh"
W=$(scratch ape)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
printf '[APE]\nCompLev=3000\n' > "$TARVEXA_HOME/Config.ini"

sox -R -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 60 pinknoise synth 60 sine amod 0.3 vol 0.5 2>/dev/null

# Killed in real time after about 6 s: 73 728 sample frames to a frame.
record_then_kill "$W/killed.log" 6 --record "$W/killed.ape" --input-file "$W/in.wav" --format 5
errors=$(ffmpeg -nostdin -v error -err_detect crccheck -i "$W/killed.ape" -f s16le -c:a pcm_s16le "$W/killed.raw" 2>&1)
check "a killed recording decodes with every CRC right" test -z "$errors"
bytes=$(stat -c %s "$W/killed.raw")
frames=$((bytes / 4))
check "... up to its last whole frame ($frames sample frames)" \
  test "$frames" -ge $((2 * 73728)) -a $((frames % 73728)) -eq 0
check "... which is the start of the input, bit for bit" \
  cmp -s -n "$bytes" "$W/killed.raw" <(sox "$W/in.wav" -t s16 -)
check "... and its header gives that length" \
  approx "$(duration "$W/killed.ape")" "$(awk -v f="$frames" 'BEGIN { print f / 44100 }')" 0.001

finish
