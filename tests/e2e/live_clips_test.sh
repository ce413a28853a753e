#!/usr/bin/env bash
# A live device (the private virtual capture device) through the command
# line: split clips join without a gap, and a pause (SIGUSR1, the window's
# Pause) leaves exactly the paused span out of the file.
source "$(dirname "$0")/lib.sh"
W=$(scratch live_clips)
export TARVEXA_HOME="$W/home"
mkdir -p "$TARVEXA_HOME"
start_virtual_audio "$W"

# --- splits ------------------------------------------------------------------
# A 5 Hz tone: any sample lost or repeated at a join is a jump far larger
# than the tone's steepest step between two samples (about 19 at this level).
sox -n -r 44100 -c 2 -b 16 "$W/tone.wav" synth 16 sine 5 vol 0.8 2>/dev/null
bash "$VA" play "$W/tone.wav" &
player=$!
sleep 0.5
"$REC" --record "$W/clips.wav" --format 1 --rate 44100 --channels 2 --split-every 0:0:5 \
  --stop-after 0:0:12 > "$W/clips.log" 2>&1
rc=$?
wait "$player" || true
check "the split recording succeeded" test "$rc" -eq 0
clips=("$W/clips.wav" "$W/clips(Splitted Clip 00001).wav" "$W/clips(Splitted Clip 00002).wav")
for c in "${clips[@]}"; do check "clip $(basename "$c") exists" test -s "$c"; done
check "no fourth clip" test ! -e "$W/clips(Splitted Clip 00003).wav"
check "the clips join without a gap (phase-continuous 5 Hz)" python3 - "${clips[@]}" <<'EOF'
import math, struct, sys, wave
left, joins = [], []
for path in sys.argv[1:]:
    w = wave.open(path)
    frames = w.readframes(w.getnframes())
    samples = struct.unpack('<%dh' % (len(frames) // 2), frames)
    left.extend(samples[0::2])
    joins.append(len(left))
steepest = 0.8 * 32768 * 2 * math.pi * 5 / 44100
worst = max(abs(left[i + 1] - left[i]) for i in range(len(left) - 1))
at = [abs(left[j] - left[j - 1]) for j in joins[:-1]]
print('joins at', joins[:-1], 'steps there', at, 'largest step anywhere', worst, 'allowed', steepest * 1.5)
assert max(abs(v) for v in left) > 0.7 * 32768, 'the tone is not in the recording'
assert worst <= steepest * 1.5
EOF

# --- pause ---------------------------------------------------------------------
# A sweep rising 187.5 Hz a second: the frequency at any point of the file
# tells when it was played. Record 3 s, pause 4 s, record 3 s.
sox -n -r 44100 -c 2 -b 16 "$W/sweep.wav" synth 16 sine 200:3200 vol 0.5 2>/dev/null
bash "$VA" play "$W/sweep.wav" &
player=$!
sleep 0.3
"$REC" --record "$W/paused.wav" --format 1 --rate 44100 --channels 2 > "$W/paused.log" 2>&1 &
rec=$!
# Time the pause from the recording's start, not the process's: on a busy
# machine start-up alone can take most of a second.
for _ in $(seq 100); do
  grep -q "Start recording" "$W/paused.log" 2>/dev/null && break
  sleep 0.1
done
sleep 3
kill -USR1 "$rec"
sleep 4
kill -USR1 "$rec"
sleep 3
kill -INT "$rec"
wait "$rec"
rc=$?
wait "$player" || true
cat "$W/paused.log"
check "the paused recording succeeded" test "$rc" -eq 0
check "the pause is logged as the window logs it" grep -q "Recording manually paused:  $W/paused.wav" "$W/paused.log"
check "... and the resume" grep -q "Manually resumed recording:  $W/paused.wav" "$W/paused.log"
check "the file holds what was played before and after the pause, and nothing of it" python3 - "$W/paused.wav" <<'EOF'
import struct, sys, wave
w = wave.open(sys.argv[1])
frames = w.readframes(w.getnframes())
left = struct.unpack('<%dh' % (len(frames) // 2), frames)[0::2]
win = 4410
def freq(a):
    seg = left[a:a + win]
    crossings = sum(1 for i in range(1, len(seg)) if (seg[i - 1] < 0) != (seg[i] < 0))
    return crossings / 2 / (len(seg) / 44100)
f = [freq(a) for a in range(0, len(left) - win + 1, win)]
steps = [f[i + 1] - f[i] for i in range(len(f) - 1)]
jump = max(steps)
where = steps.index(jump)
others = [s for i, s in enumerate(steps) if i != where]
seconds = len(left) / 44100
played = (f[-1] - f[0]) / 187.5 + 0.1      # from the first window's start to the last's end
gap = jump / 187.5 - 0.1                    # the sweep's advance across the join, less one window
print('recorded %.2f s, played %.2f s, one jump of %.0f Hz (%.2f s left out) after %.1f s'
      % (seconds, played, jump, gap, (where + 1) * 0.1))
assert 3.4 <= gap <= 4.6, 'the pause should leave about 4 s out'
assert max(others) < 60 and min(others) > -60, 'one jump only: the rest is continuous'
assert abs(seconds - (played - gap)) < 0.15, 'what is in the file is what was played outside the pause'
assert 2.5 <= (where + 1) * 0.1 <= 3.6, 'the join comes where the pause began'
EOF

finish
