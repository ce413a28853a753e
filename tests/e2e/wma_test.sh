#!/usr/bin/env bash
# WMA through the command line: the default profile, a killed recording and
# a full disk (the profiles, split clips and refusals are in
# tests/unit/wma_writer_test.cpp).
source "$(dirname "$0")/lib.sh"
W=$(scratch wma)
export TARVEXA_HOME="$W/home"  # no Config.ini: profile 47
mkdir -p "$TARVEXA_HOME"

sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 95 sine 440 sine 660 vol 0.5 2>/dev/null

# Decoded length in seconds.
decoded_seconds() { ffmpeg -v error -i "$1" -f s16le -ac 1 -ar 8000 - 2>/dev/null | wc -c | awk '{ print $1 / 16000 }'; }

capture "$REC" --record "$W/short.wma" --input-file "$W/in.wav" --fast --format 3 --stop-after 0:0:10
check "the default profile records" test "$rc" -eq 0
check "... labelled by its description" grep -q "Format: WMA:   WMA 9.2  128kbps; 44100 Hz; Stereo; CBR;" <<<"$out"
check "... as wmav2 at 128 kbps" test "$(probe "$W/short.wma" codec_name) $(probe "$W/short.wma" bit_rate)" = "wmav2 128000"

# Killed mid-way: every finished packet decodes.
record_then_kill "$W/killed.log" 6 --record "$W/killed.wma" --input-file "$W/in.wav" --format 3
s=$(decoded_seconds "$W/killed.wma")
check "a killed recording still decodes ($s s)" awk -v s="$s" 'BEGIN { exit !(s >= 5 && s <= 6) }'
check "... cleanly" decodes_cleanly "$W/killed.wma"

# A full disk (a file-size limit stands in for it): reported, and the file
# decodes up to the failure.
capture with_file_limit 512 "$REC" --record "$W/full.wma" --input-file "$W/in.wav" --fast --format 3
check "a full disk fails the recording" test "$rc" -ne 0
check "... with the write error" grep -q "File too large" <<<"$out"
s=$(decoded_seconds "$W/full.wma")
check "... and the file decodes up to the failure ($s s)" awk -v s="$s" 'BEGIN { exit !(s > 28 && s < 33) }'

finish
