#!/usr/bin/env bash
# Nothing lost, nothing broken, through the command line: recordings killed
# with SIGKILL are repaired at the next start, and recordings that fill the
# disk end with an error and a whole file. Each file must pass its format's
# own checker, and the length its header declares must be the length that
# decodes.
source "$(dirname "$0")/lib.sh"
W=$(scratch nothing_lost)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"

# Noise does not compress: every format fills the disk quickly.
sox -n -r 44100 -c 2 -b 16 "$W/noise.wav" synth 120 pinknoise vol 0.3 2>/dev/null
sox -n -r 44100 -c 2 -b 16 "$W/short.wav" synth 2 sine 440 2>/dev/null

# The format's own checker, quiet, exit status only.
checker() {
  case "$1" in
    *.wav) python3 -c 'import sys, wave; w = wave.open(sys.argv[1]); w.readframes(w.getnframes())' "$1" && sox "$1" -n ;;
    *.aiff) sox "$1" -n ;;
    *.flac) flac -s -t "$1" ;;
    *.mp3) mpg123 -q -t "$1" ;;
    *.ogg) ogginfo -q "$1" >/dev/null ;;
    *.wv) wvunpack -q -v "$1" ;;
  esac
}
# Frames the header declares (FFmpeg's reading of it) and frames that decode.
declared() { ffprobe -v error -show_entries format=duration -of csv=p=0 "$1" | awk '{ printf "%d", $1 * 44100 + 0.5 }'; }
decoded() {
  case "$1" in
    *.ogg) oggdec -Q -R -o - "$1" | wc -c | awk '{ print $1 / 4 }' ;;
    *) ffmpeg -v error -i "$1" -f s16le - | wc -c | awk '{ print $1 / 4 }' ;;
  esac
}
whole() {
  local f="$1"
  check "$(basename "$f") passes its checker" checker "$f"
  local d c
  d=$(declared "$f"); c=$(decoded "$f")
  check "$(basename "$f"): declared $d frames, $c decode" test "$d" = "$c" -a "$c" -gt 0
}

# --- killed -------------------------------------------------------------
pids=()
for f in 1:wav 6:flac 2:mp3 4:ogg 12:wv; do
  "$REC" --record "$W/killed.${f#*:}" --input-file "$W/noise.wav" --format "${f%%:*}" > "$W/killed.${f#*:}.log" 2>&1 &
  pids+=($!)
done
sleep 3
for pid in "${pids[@]}"; do kill -9 "$pid"; done
for pid in "${pids[@]}"; do wait "$pid" 2>/dev/null || true; done

# The WAV header, read straight from the file, covers what was written.
check "the killed WAV's header gives its data size" python3 - "$W/killed.wav" <<'EOF'
import os, struct, sys
d = open(sys.argv[1], 'rb').read()
assert d[:4] == b'RIFF' and d[8:12] == b'WAVE'
pos = 12
while d[pos:pos + 4] != b'data':
    pos += 8 + struct.unpack('<I', d[pos + 4:pos + 8])[0]
size = struct.unpack('<I', d[pos + 4:pos + 8])[0]
assert pos + 8 + size == len(d) and size > 0 and size % 4 == 0, (pos, size, len(d))
assert struct.unpack('<I', d[4:8])[0] + 8 == len(d)
EOF
check "a killed FLAC fails flac -t before the repair" bash -c "! flac -s -t '$W/killed.flac' 2>/dev/null"

capture "$REC" --record "$W/next.wav" --input-file "$W/short.wav" --fast --format 1
check "the next start records" test "$rc" -eq 0
for ext in wav flac mp3 ogg wv; do
  check "the next start names killed.$ext" grep -q "WARN  Recovered the unfinished recording $W/killed.$ext: .* of audio\.$" <<<"$out"
  whole "$W/killed.$ext"
done
check "nothing is left in the journal" test -z "$(ls -A "$TARVEXA_HOME/Journal" 2>/dev/null)"

# --- a full disk ----------------------------------------------------------
# A small tmpfs where the system lets us mount one; else a file-size limit
# stands in for it (the write fails with EFBIG instead of ENOSPC).
mkdir -p "$W/disk" "$W/full"
if mount -t tmpfs -o size=512k tmpfs "$W/disk" 2>/dev/null; then
  trap 'umount "$W/disk" 2>/dev/null || true' EXIT
  echo "# a 512 KiB tmpfs"
  full_run() { capture "$@"; }
else
  echo "# no tmpfs here (mount refused): a 512 KiB file-size limit"
  full_run() { capture with_file_limit 512 "$@"; }
fi
for f in 1:wav 9:aiff 6:flac 2:mp3 4:ogg 12:wv; do
  ext=${f#*:}
  rm -f "$W/disk/"*
  full_run "$REC" --record "$W/disk/full.$ext" --input-file "$W/noise.wav" --fast --format "${f%%:*}"
  check "full disk, $ext: the recording fails" test "$rc" -ne 0
  check "full disk, $ext: with the error line" grep -q "ERROR Recording stopped: the output file could not be written" <<<"$out"
  cp "$W/disk/full.$ext" "$W/full/"
  whole "$W/full/full.$ext"
done

finish
