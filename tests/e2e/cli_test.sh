#!/usr/bin/env bash
# The command line over the file input: formats, split, failures, crash safety.
source "$(dirname "$0")/lib.sh"
W=$(scratch cli)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"

sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 95 sine 440 sine 660 vol 0.5 2>/dev/null
sox -n -r 44100 -c 2 -b 16 "$W/short.wav" synth 12.34 sine 1000 sine 1500 vol 0.5 2>/dev/null

# Usage and argument errors.
check "--help exits 0" "$REC" --help
capture "$REC" --record "$W/x.wav" --rate 12345
check "an unknown rate is refused with status 2" test "$rc" -eq 2
capture "$REC" --record "$W/x.wav" --split-every 0:0:4
check "a split below 5 s is refused" test "$rc" -eq 2
check "... with the minimum-split message" grep -q "Minimum Split Time is 5 Secs!" <<<"$out"

# A WAV recording of a whole file is bit-exact and ends with the file.
"$REC" --record "$W/whole.wav" --input-file "$W/short.wav" --fast --format 1 > "$W/whole.log"
check "16-bit WAV is bit-exact with the input" test "$(pcm_md5 "$W/whole.wav")" = "$(pcm_md5 "$W/short.wav")"
check "ffprobe sees 44100 Hz" test "$(probe "$W/whole.wav" sample_rate)" = 44100
check "ffprobe sees 2 channels" test "$(probe "$W/whole.wav" channels)" = 2
check "the log says the format" grep -q "Set audio format: WAV Signed 16 bit PCM" "$W/whole.log"
check "the event log file is written in TARVEXA_HOME" grep -q "Start recording  $W/whole.wav" "$TARVEXA_HOME/Tarvexa Sound Recorder.log"
check "Config.ini is never written" test ! -e "$TARVEXA_HOME/Config.ini"

# Split every 30 s in a folder with a dot: four clips beside the first file.
mkdir -p "$W/My.Music"
"$REC" --record "$W/My.Music/Talk.wav" --input-file "$W/in.wav" --fast --format 1 --split-every 0:0:30 > "$W/split.log"
for f in "Talk.wav" "Talk(Splitted Clip 00001).wav" "Talk(Splitted Clip 00002).wav" "Talk(Splitted Clip 00003).wav"; do
  check "clip $f exists" test -s "$W/My.Music/$f"
done
check "a 30 s clip lasts 30 s" approx "$(duration "$W/My.Music/Talk(Splitted Clip 00001).wav")" 30 0.001
check "the last clip lasts 5 s" approx "$(duration "$W/My.Music/Talk(Splitted Clip 00003).wav")" 5 0.001
joined=$(sox "$W/My.Music/Talk.wav" "$W/My.Music/Talk(Splitted Clip 00001).wav" "$W/My.Music/Talk(Splitted Clip 00002).wav" "$W/My.Music/Talk(Splitted Clip 00003).wav" -t s16 - | md5sum | cut -d' ' -f1)
check "the clips joined are bit-exact with the input" test "$joined" = "$(pcm_md5 "$W/in.wav")"
check "the new clips are announced" grep -q "Creating splitted clip $W/My.Music/Talk(Splitted Clip 00001).wav ..." "$W/split.log"

# Auto-stop after 5 s: exactly 50 blocks.
"$REC" --record "$W/stop.caf" --input-file "$W/in.wav" --fast --format 26 --stop-after 0:0:5 > "$W/stop.log"
check "auto-stop 0:0:5 writes 5.0 s" approx "$(duration "$W/stop.caf")" 5 0.0001
check "auto-stop is logged" grep -q "Automatically stop recording." "$W/stop.log"

# Failures: an unwritable folder, a missing device.
capture "$REC" --record "$W/no/such/dir/a.wav" --input-file "$W/short.wav" --fast --format 1
check "an unwritable folder fails" test "$rc" -ne 0
check "... with the open error" grep -q "Error : could not open file : $W/no/such/dir/a.wav" <<<"$out"
capture timeout 60 "$REC" --record "$W/dev.wav" --device 999 --format 1
check "a missing device fails" test "$rc" -ne 0 -a "$rc" -ne 124
check "... with 'Fail to open input stream.'" grep -q "Fail to open input stream." <<<"$out"

# A full disk (a file-size limit stands in for it): a level-2 error, a
# non-zero exit, and a file that plays up to the failure.
capture with_file_limit 2048 "$REC" --record "$W/full.wav" --input-file "$W/in.wav" --fast --format 1
check "a full disk fails the recording" test "$rc" -ne 0
check "... with an error line" grep -q "ERROR Recording stopped: the output file could not be written" <<<"$out"
d=$(duration "$W/full.wav")
check "... and the file plays up to the failure ($d s)" awk -v d="$d" 'BEGIN { exit !(d > 10 && d < 13) }'

# Killed mid-way: the file still plays up to its last second or two.
record_then_kill "$W/killed.log" 6 --record "$W/killed.wav" --input-file "$W/in.wav" --format 1
d=$(duration "$W/killed.wav")
check "a killed recording still plays ($d s)" awk -v d="$d" 'BEGIN { exit !(d >= 3 && d <= 6.5) }'
check "... and decodes cleanly" decodes_cleanly "$W/killed.wav"

# Corrupt, truncated and binary Config.ini files load without a crash.
printf '[OUTPUT]\nOutputFormat=99\nFreq=44\nChan=7\n[MISC\nStopSec=abc\n\0\0\xff\xfe' > "$TARVEXA_HOME/Config.ini"
capture "$REC" --record "$W/cfg.wav" --input-file "$W/short.wav" --fast --format 1
check "a corrupt Config.ini still records" test "$rc" -eq 0
check "... warning about the out-of-range values" grep -q "out of range" <<<"$out"
check "... and writes its file" test -s "$W/cfg.wav"
head -c 100000 /dev/urandom > "$TARVEXA_HOME/Config.ini"
check "a binary Config.ini does not crash the recorder" "$REC" --record "$W/bin.wav" --input-file "$W/short.wav" --fast --format 1
rm -f "$TARVEXA_HOME/Config.ini"

finish
