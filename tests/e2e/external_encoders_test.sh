#!/usr/bin/env bash
# Musepack, AAC and the user's own encoder through the command line, checked
# with FFmpeg and mpg123: lengths, rates, channels and profiles; split clips
# with one program run per clip, one after the other; paths with blanks and
# quotes; and programs that are missing, fail or never read.
source "$(dirname "$0")/lib.sh"
W=$(scratch external)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
CFG="$TARVEXA_HOME/Config.ini"

sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 12 pluck 220 pluck 330 synth 12 pinknoise mix vol 0.4 2>/dev/null
sox -n -r 48000 -c 1 -b 16 "$W/in48m.wav" synth 12 sine 440 vol 0.5 2>/dev/null

# Decoded length in seconds (FFmpeg) and a stream field.
decoded() { ffmpeg -v error -i "$1" -f s16le -ac 1 - | wc -c | awk -v r="$2" '{ print $1 / 2 / r }'; }

# Musepack at 44.1 kHz decodes to the input's length.
rm -f "$CFG"
capture "$REC" --record "$W/a.mpc" --input-file "$W/in.wav" --fast --format 11
check "MPC records" test "$rc" -eq 0
check "... and decodes to 12 s ($(decoded "$W/a.mpc" 44100) s)" approx "$(decoded "$W/a.mpc" 44100)" 12 0.05
check "... cleanly" decodes_cleanly "$W/a.mpc"

# AAC in the four containers of our encoder, LC and Main, at two rates.
for case in 0:aac:0 1:m4a:1 2:m4b:0 3:mp4:1; do
  IFS=: read -r container ext obj <<<"$case"
  profile=$([ "$obj" = 1 ] && echo Main || echo LC)
  for in in in.wav in48m.wav; do
    printf '[AAC]\nContainerFormat=%s\nFAACObjType=%s\n' "$container" "$obj" > "$CFG"
    file="$W/aac$container-${in%.wav}.$ext"
    rate=$([ "$in" = in.wav ] && echo 44100 || echo 48000)
    chans=$([ "$in" = in.wav ] && echo 2 || echo 1)
    capture "$REC" --record "$file" --input-file "$W/$in" --fast --format 10
    check "AAC .$ext $profile $rate Hz records" test "$rc" -eq 0
    check "... $rate Hz, $chans channel(s), $profile" test \
      "$(probe "$file" sample_rate)/$(probe "$file" channels)/$(probe "$file" profile)" = "$rate/$chans/$profile"
    # Raw ADTS keeps the encoder's priming samples (a few tens of ms).
    check "... 12 s long ($(decoded "$file" "$rate") s)" approx "$(decoded "$file" "$rate")" 12.03 0.05
  done
done
check "only .aac is raw ADTS" test "$(ffprobe -v error -show_entries format=format_name -of csv=p=0 "$W/aac0-in.aac")" = aac

# A split recording: one program per clip, each started after the last one
# ended, every clip playable alone.
printf '[AAC]\nContainerFormat=1\n' > "$CFG"
capture "$REC" --record "$W/split.m4a" --input-file "$W/in.wav" --fast --format 10 --split-every 0:0:5
check "a split AAC recording succeeds" test "$rc" -eq 0
n=0
for f in "$W"/split*.m4a; do
  n=$((n + 1))
  check "... clip $(basename "$f") decodes cleanly" decodes_cleanly "$f"
done
check "... into three clips" test "$n" -eq 3
printf '[CUSTOM]\nEncoder=/bin/sh\nParameter=-c '"'"'echo start >> "$0"; cat > "$1"; sleep 0.3; echo end >> "$0"'"'"' %s %%of%%\nFileExt=raw\n' \
  "$W/order.log" > "$CFG"
"$REC" --record "$W/order.raw" --input-file "$W/in.wav" --fast --format 31 --split-every 0:0:5 > "$W/order.out"
check "... one program at a time, one per clip" test "$(tr '\n' ' ' < "$W/order.log")" = "start end start end start end "

# Debian's lame as the user's encoder, into a folder with a blank and quotes.
D="$W/My \"Best\" Rec's"
mkdir -p "$D"
printf '[CUSTOM]\nEncoder=/usr/bin/lame\nParameter=-V2 - %%of%%\nFileExt=mp3\n' > "$CFG"
capture "$REC" --record "$D/talk" --input-file "$W/in.wav" --fast --format 31
check "lame as the user's encoder records" test "$rc" -eq 0
check "... a playable MP3 ($(mpg123 -q -s "$D/talk.mp3" | wc -c) bytes)" \
  approx "$(mpg123 -q -s "$D/talk.mp3" | wc -c | awk '{ print $1 / 4 / 44100 }')" 12 0.05
check "... and logs the launch" grep -q "Launch External Encoder..." <<<"$out"
check "... and the end" grep -q "External Encoder Terminated." <<<"$out"

# A program that is missing, fails or never reads: an error and a non-zero exit.
for case in "missing|$W/no-encoder|%of%|could not be started" \
            "failing|/bin/sh|-c 'cat >/dev/null; exit 1' x %of%|exited with status 1" \
            "stalled|/bin/sh|-c 'sleep 60' x %of%|took no audio"; do
  IFS='|' read -r what program parameter error <<<"$case"
  printf '[CUSTOM]\nEncoder=%s\nParameter=%s\nFileExt=raw\n' "$program" "$parameter" > "$CFG"
  start=$SECONDS
  capture "$REC" --record "$W/$what.raw" --input-file "$W/in.wav" --fast --format 31
  check "a $what encoder fails the recording" test "$rc" -ne 0
  check "... with an error line" grep -q "ERROR .*$error" <<<"$out"
  check "... within seconds ($((SECONDS - start)) s)" test $((SECONDS - start)) -lt 15
done

# The recorder killed mid-way: the encoder still gets the end of its input
# and finishes a playable file.
printf '[AAC]\nContainerFormat=1\n' > "$CFG"
record_then_kill "$W/killed.log" 5 --record "$W/killed.m4a" --input-file "$W/in.wav" --format 10
for _ in 1 2 3 4 5 6 7 8 9 10; do decodes_cleanly "$W/killed.m4a" 2>/dev/null && break; sleep 0.5; done
check "a killed AAC recording still plays" decodes_cleanly "$W/killed.m4a"
d=$(decoded "$W/killed.m4a" 44100)
check "... up to the kill ($d s)" awk -v d="$d" 'BEGIN { exit !(d > 2 && d < 6) }'

finish
