#!/usr/bin/env bash
# The command line's formats by name and by extension, an input file's own
# rate and channels kept or converted, and no file from a recording that
# never got a block.
source "$(dirname "$0")/lib.sh"
W=$(scratch cli_formats)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"

sox -n -r 48000 -c 1 -b 16 "$W/mono48k.wav" synth 3 sine 1000 vol 0.5 2>/dev/null
sox -n -r 8000 -c 2 -b 16 "$W/stereo8k.wav" synth 2 sine 1000 sine 1000 vol 0.5 2>/dev/null
sox -n -r 37800 -c 2 -b 16 "$W/odd.wav" synth 2 sine 1000 sine 1000 vol 0.5 2>/dev/null
sox -n -r 22050 -c 6 -b 16 "$W/six.wav" synth 2 sine 1000 sine 1000 sine 1000 sine 1000 sine 1000 sine 1000 vol 0.2 2>/dev/null

container() { ffprobe -v error -show_entries format=format_name -of default=nw=1:nk=1 "$1"; }
# The tone of the first channel, as sox's rough frequency estimate finds it.
tone() { sox "$1" -n remix 1 stat 2>&1 | awk '/Rough +frequency/ { print $3 }'; }

capture "$REC" --help
for name in wav mp3 ogg flac aiff w64 caf wv; do
  check "--help names $name" grep -qw "$name" <<<"$out"
done

# By name in any case, or by code; OUTPUT without an extension gets the
# format's own.
while read -r name ext want; do
  "$REC" --record "$W/name-$name" --input-file "$W/mono48k.wav" --fast --format "$name" > "$W/name-$name.log"
  check "--format $name writes $ext" test -s "$W/name-$name$ext"
  check "... which ffprobe reads as $want" test "$(container "$W/name-$name$ext")" = "$want"
done <<'END'
FLAC .flac flac
w64 .w64 w64
Caf .caf caf
9 .aiff aiff
END

# By extension, without --format (Config.ini says MP3).
for ext in flac w64 caf aif; do
  "$REC" --record "$W/by-ext.$ext" --input-file "$W/mono48k.wav" --fast > "$W/by-ext-$ext.log"
  want=$ext; [ "$ext" = aif ] && want=aiff
  check "an output ending in .$ext is written as $want" test "$(container "$W/by-ext.$ext")" = "$want"
done
capture "$REC" --record "$W/which.ogg" --input-file "$W/mono48k.wav" --fast
check "an extension of two formats asks for --format" test "$rc" -eq 2
check "... naming them" grep -q "(OGG, FLAC): choose one with --format" <<<"$out"
check "... and writes nothing" test ! -e "$W/which.ogg"

# The file's own rate and channels are kept: 48 kHz mono stays 48 kHz mono,
# sample for sample.
"$REC" --record "$W/own.wav" --input-file "$W/mono48k.wav" --fast > "$W/own.log"
check "the file's own 48000 Hz are kept" test "$(probe "$W/own.wav" sample_rate)" = 48000
check "... and its one channel" test "$(probe "$W/own.wav" channels)" = 1
check "... sample for sample" test "$(pcm_md5 "$W/own.wav")" = "$(pcm_md5 "$W/mono48k.wav")"
check "... with nothing converted" bash -c "! grep -q 'are converted' '$W/own.log'"

# Another rate or channel count is converted: asked for, beyond the
# format's limits (MP2 records 16 kHz and up), not offered (37800 Hz), or
# more channels than two.
while read -r input args rate channels seconds; do
  args=${args//_/ }
  base="$W/conv-$(basename "$input" .wav)-$rate-$channels"
  # shellcheck disable=SC2086
  capture "$REC" --record "$base" --input-file "$W/$input" --fast $args
  check "$input $args: recorded" test "$rc" -eq 0
  out_file=$(ls "$base".* 2>/dev/null | head -n1)
  check "$input $args: $rate Hz" test "$(probe "$out_file" sample_rate)" = "$rate"
  check "$input $args: $channels channel(s)" test "$(probe "$out_file" channels)" = "$channels"
  check "$input $args: lasts $seconds s" approx "$(duration "$out_file")" "$seconds" 0.06
  check "$input $args: the 1 kHz tone stays 1 kHz ($(tone "$out_file"))" approx "$(tone "$out_file")" 1000 30
  check "$input $args: the conversion is logged" grep -q "are converted to $rate Hz, $channels channel(s)" <<<"$out"
done <<'END'
mono48k.wav --format_wav_--rate_44100_--channels_2 44100 2 3
stereo8k.wav --format_mp2 44100 2 2
odd.wav --format_wav 32000 2 2
six.wav --format_wav_--channels_1 22050 1 2
END

# A rate the format cannot record, asked for by name, is refused.
capture "$REC" --record "$W/refused.mp2" --input-file "$W/mono48k.wav" --fast --format mp2 --rate 8000
check "a rate the format lacks is refused" test "$rc" -eq 1
check "... saying so" grep -q "The MP2 format cannot record 8000 Hz" <<<"$out"

# A recording that never got a block leaves no file.
capture timeout 60 "$REC" --record "$W/nothing.wav" --device 999 --format wav
check "a device that cannot be opened fails" test "$rc" -ne 0 -a "$rc" -ne 124
check "... and leaves no file" test ! -e "$W/nothing.wav"
check "... saying so" grep -q "No audio reached $W/nothing.wav: no file was made." <<<"$out"

finish
