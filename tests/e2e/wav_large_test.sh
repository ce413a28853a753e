#!/usr/bin/env bash
# A WAV recording past 4 GiB, made for real through the command line (file
# input, fast): it becomes RF64 and is read whole by FFmpeg and sox, and a
# recording killed past 4 GiB leaves an RF64 file whose header covers what
# was written. Writes about 8.6 GB in all (one file at a time), so it is
# labelled "large": CI runs it once, `ctest -LE large` leaves it out.
# The folder is $TARVEXA_LARGE_DIR when set, else the test work area.
source "$(dirname "$0")/lib.sh"
W="${TARVEXA_LARGE_DIR:-$TARVEXA_TEST_WORK}/e2e_wav_large"
rm -rf "$W"
mkdir -p "$W"
trap 'rm -rf "$W"' EXIT
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"

free=$(df -Pk "$W" | awk 'NR == 2 { print $4 }')
if [ "$free" -lt $((6 * 1024 * 1024)) ]; then
  echo "FAIL - $W has $((free / 1024)) MiB free; this test needs 6 GiB (set TARVEXA_LARGE_DIR)"
  exit 1
fi

# The input: 5800 s of 192 kHz stereo (4,454,400,000 bytes of audio, more
# than 4 GiB) as a sparse Wave64 file: a 1 kHz second at the start, a 3 kHz
# second at the end, silence between that takes no disk space.
BYTES=4454400000
python3 - "$W/in.w64" "$BYTES" <<'EOF'
import math, struct, sys
path, n = sys.argv[1], int(sys.argv[2])
tail = bytes([0xF3, 0xAC, 0xD3, 0x11, 0x8C, 0xD1, 0x00, 0xC0, 0x4F, 0x8E, 0xDB, 0x8A])
riff = b'riff' + bytes([0x2E, 0x91, 0xCF, 0x11, 0xA5, 0xD6, 0x28, 0xDB, 0x04, 0xC1, 0x00, 0x00])
head = riff + struct.pack('<Q', 104 + n) + b'wave' + tail
head += b'fmt ' + tail + struct.pack('<Q', 40) + struct.pack('<HHIIHH', 1, 2, 192000, 768000, 4, 16)
head += b'data' + tail + struct.pack('<Q', 24 + n)
def tone(hz):
    return b''.join(struct.pack('<hh', v, v) for v in
                    (int(12000 * math.sin(2 * math.pi * hz * i / 192000)) for i in range(192000)))
with open(path, 'wb') as f:
    f.write(head)
    f.write(tone(1000))
    f.seek(104 + n - 768000)
    f.write(tone(3000))
EOF
python3 -c 'import sys; d = open(sys.argv[1], "rb"); d.seek(104); open(sys.argv[2], "wb").write(d.read(768000)); d.seek(-768000, 2); open(sys.argv[3], "wb").write(d.read())' \
  "$W/in.w64" "$W/first.raw" "$W/last.raw"

# The RIFF/RF64 header read straight from the file: "RF64 <ds64 data size>
# <offset of the data>".
header() {
  python3 - "$1" <<'EOF'
import struct, sys
d = open(sys.argv[1], 'rb').read(4096)
pos, ds64 = 12, None
while d[pos:pos + 4] != b'data':
    size = struct.unpack('<I', d[pos + 4:pos + 8])[0]
    if d[pos:pos + 4] == b'ds64':
        ds64 = struct.unpack('<QQQ', d[pos + 8:pos + 32])
    pos += 8 + size + (size & 1)
data = struct.unpack('<I', d[pos + 4:pos + 8])[0]
print(d[:4].decode(), ds64[1] if ds64 and data == 0xFFFFFFFF else data, pos + 8)
EOF
}

# --- a whole recording past 4 GiB ---------------------------------------------
start=$(date +%s)
capture "$REC" --record "$W/big.wav" --input-file "$W/in.w64" --fast --format 1
echo "# recorded $BYTES bytes in $(($(date +%s) - start)) s"
check "the recording past 4 GiB succeeded" test "$rc" -eq 0
read -r kind size offset <<<"$(header "$W/big.wav")"
check "it became RF64 ($kind)" test "$kind" = RF64
check "its ds64 chunk gives every byte of audio ($size)" test "$size" = "$BYTES" -a "$((offset + size))" = "$(stat -c %s "$W/big.wav")"
us=$(ffmpeg -v error -i "$W/big.wav" -map 0:a -c copy -f null - -progress pipe:1 | awk -F= '/^out_time_us=/ { t = $2 } END { print t }')
check "FFmpeg reads all 5800 s ($us us)" test "$us" = 5800000000
check "ffprobe declares 5800 s" approx "$(duration "$W/big.wav")" 5800 0.000001
sox "$W/big.wav" -t s16 - | python3 -c '
import hashlib, sys
total, last, first = 0, b"", b""
while True:
    chunk = sys.stdin.buffer.read(1 << 23)
    if not chunk:
        break
    if len(first) < 768000:
        first += chunk[:768000 - len(first)]
    total += len(chunk)
    last = (last + chunk)[-768000:]
print(total, hashlib.md5(first).hexdigest(), hashlib.md5(last).hexdigest())' > "$W/sox.txt"
read -r soxbytes soxfirst soxlast < "$W/sox.txt"
check "sox reads every sample ($soxbytes bytes)" test "$soxbytes" = "$BYTES"
check "... the first second as it went in" test "$soxfirst" = "$(md5sum < "$W/first.raw" | cut -d' ' -f1)"
check "... and the last" test "$soxlast" = "$(md5sum < "$W/last.raw" | cut -d' ' -f1)"
rm -f "$W/big.wav"

# --- killed past 4 GiB -----------------------------------------------------------
"$REC" --record "$W/killed.wav" --input-file "$W/in.w64" --fast --format 1 > "$W/killed.log" 2>&1 &
pid=$!
limit=$((4 * 1024 * 1024 * 1024 + 32 * 1024 * 1024))
while kill -0 "$pid" 2>/dev/null && [ "$(stat -c %s "$W/killed.wav" 2>/dev/null || echo 0)" -lt "$limit" ]; do
  sleep 0.05
done
kill -9 "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
length=$(stat -c %s "$W/killed.wav")
check "killed past 4 GiB ($length bytes)" test "$length" -gt "$limit" -a "$length" -lt "$((BYTES + 4096))"
read -r kind size offset <<<"$(header "$W/killed.wav")"
check "the killed file is RF64 ($kind)" test "$kind" = RF64
# The header is rewritten after each block: it covers the file, or all but
# the block being written at the kill (19200 frames of 4 bytes).
check "its ds64 chunk covers what was written ($size of $((length - offset)))" \
  test "$((length - offset - size))" -ge 0 -a "$((length - offset - size))" -le 76800 -a "$((size % 4))" = 0
check "ffprobe reads it past 4 GiB" awk -v d="$(duration "$W/killed.wav")" 'BEGIN { exit !(d > 5592.5) }'

finish
