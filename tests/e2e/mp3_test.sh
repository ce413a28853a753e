#!/usr/bin/env bash
# MP3 through the command line: a full disk and a killed recording (the
# rest is in tests/unit/mp3_writer_test.cpp).
source "$(dirname "$0")/lib.sh"
W=$(scratch mp3)
export TARVEXA_HOME="$W/home"  # no Config.ini: MP3 CBR 128 kbps
mkdir -p "$TARVEXA_HOME"

sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 95 sine 440 sine 660 vol 0.5 2>/dev/null

# Decoded length in samples per channel (mpg123 trims delay and padding from
# the LAME tag).
mpg123_frames() { mpg123 -q -s "$1" | wc -c | awk '{ print $1 / 4 }'; }

# A full disk (a file-size limit stands in for it): reported, and the file
# ends on a whole frame and plays up to the failure.
capture with_file_limit 1024 "$REC" --record "$W/full.mp3" --input-file "$W/in.wav" --fast --format 2
check "a full disk fails the recording" test "$rc" -ne 0
check "... with the write error" grep -q "ERROR Output file write error" <<<"$out"
check "... and a file that decodes cleanly" decodes_cleanly "$W/full.mp3"
d=$(duration "$W/full.mp3")
check "... up to the failure ($d s)" awk -v d="$d" 'BEGIN { exit !(d > 60 && d < 66) }'

# Killed mid-way: the frames written so far play.
record_then_kill "$W/killed.log" 6 --record "$W/killed.mp3" --input-file "$W/in.wav" --format 2
s=$(mpg123_frames "$W/killed.mp3")
check "a killed recording still plays ($s samples)" awk -v s="$s" 'BEGIN { exit !(s >= 3 * 44100 && s <= 6.5 * 44100) }'
check "... and decodes cleanly" decodes_cleanly "$W/killed.mp3"

finish
