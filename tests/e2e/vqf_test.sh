#!/usr/bin/env bash
# VQF through the command line: the preset comes from Config.ini, split
# clips are read by FFmpeg and played back by vqfdec, and a missing
# tvqenc.so ends the recording with a message (the rest is in
# tests/unit/vqf_writer_test.cpp).
source "$(dirname "$0")/lib.sh"
W=$(scratch vqf)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
printf '[VQF]\nProfile=9\nQuality=4\n' > "$TARVEXA_HOME/Config.ini"  # 22050 Hz mono 20 kbps

sox -n -r 22050 -c 1 -b 16 "$W/in.wav" synth 11 sine 300-3000 vol 0.5 2>/dev/null

capture "$REC" --record "$W/Talk.vqf" --input-file "$W/in.wav" --fast --format 8 --split-every 0:0:5
check "a split VQF recording succeeds" test "$rc" -eq 0
check "... with the VQF label" grep -q "VQF:   20 kbps; 22050 Hz;  Mono; Quality  4;" <<<"$out"
clips=("$W"/Talk*.vqf)
check "... in three clips" test "${#clips[@]}" -eq 3
total=0
for clip in "${clips[@]}"; do
  check "ffprobe reads $(basename "$clip") as 22050 Hz mono 20 kb/s" \
    test "$(probe "$clip" sample_rate),$(probe "$clip" channels),$(probe "$clip" bit_rate)" = "22050,1,20000"
  check "vqfdec plays $(basename "$clip")" "$TARVEXA_BIN/vqfdec" "$clip" "$clip.wav"
  total=$(awk -v t="$total" -v d="$(soxi -D "$clip.wav")" 'BEGIN { print t + d }')
done
check "the clips hold the 11 s of input ($total s)" approx "$total" 11 0.15

# Without the coding library nothing is recorded.
mkdir -p "$W/nolib"
capture env TARVEXA_LIB_DIR="$W/nolib" "$REC" --record "$W/none.vqf" --input-file "$W/in.wav" --fast --format 8
check "without tvqenc.so the recording fails" test "$rc" -ne 0
check "... saying so" grep -q "Error loading tvqenc.so." <<<"$out"
check "... and leaves no file" test ! -e "$W/none.vqf"

finish
