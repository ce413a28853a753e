# Helpers of the tests that run an installed recorder (sourced after lib.sh).

# Runs a command as a fresh login would: a home folder and PATH, none of the
# recorder's variables, no LD_LIBRARY_PATH.
run_clean() { local home="$1"; shift; env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

# Sample frames per channel in FILE, as a reader nobody here wrote decodes
# them. A headless RAW file is measured with the sample width that the
# recorder's LOG announced for it.
decoded_frames() {
  local file="$1" channels="$2" log="$3"
  case "$file" in
    *.mp3) mpg123 -q -s "$file" | wc -c | awk -v c="$channels" '{ print $1 / (2 * c) }' ;;
    *.flac) flac -s -t "$file" && metaflac --show-total-samples "$file" ;;
    *.wv) wvunpack -q -v "$file" && ffmpeg -v error -i "$file" -f s16le - | wc -c |
            awk -v c="$channels" '{ print $1 / (2 * c) }' ;;
    *.ogg | *.mp2 | *.wma | *.ape | *.aac | *.m4a | *.mpc)
      ffmpeg -v error -i "$file" -f s16le - | wc -c | awk -v c="$channels" '{ print $1 / (2 * c) }' ;;
    *.raw)
      local bits
      bits=$(sed -n 's/.*Format: RAW: .* \([0-9][0-9]*\) bit.*/\1/p' "$log")
      stat -c %s "$file" | awk -v c="$channels" -v b="${bits:-0}" '{ print b ? $1 / (b / 8 * c) : -1 }' ;;
    # Everything else is one of the sound-file library's containers.
    *) sndfile-info "$file" | awk '/^Frames/ { n = $3 } END { print n + 0 }' ;;
  esac
}

# Records the sine file IN (FRAMES frames, CHANNELS channels) with the
# installed command REC into format CODE under folder OUT and checks the file
# it made: one file, which a reader nobody here wrote decodes into as many
# frames (lossy formats may pad up to two MPEG frames). Extra arguments go to
# the recorder.
records_format() {
  local rec="$1" home="$2" out="$3" code="$4" in="$5" frames="$6" channels="$7"
  shift 7
  local log="$out/format$code.txt"
  if ! run_clean "$home" "$rec" --record "$out/format$code" --input-file "$in" --fast \
      --format "$code" "$@" > "$log" 2>&1; then
    echo "format $code: the recording failed:"; cat "$log"; return 1
  fi
  local made
  mapfile -t made < <(find "$out" -maxdepth 1 -name "format$code.*" ! -name '*.txt')
  if [ "${#made[@]}" -ne 1 ]; then echo "format $code: made ${made[*]:-nothing}"; return 1; fi
  local got
  got=$(decoded_frames "${made[0]}" "$channels" "$log") || { echo "format $code: ${made[0]} does not decode"; return 1; }
  local slack=0
  case "${made[0]}" in *.mp3 | *.ogg | *.mp2 | *.wma | *.aac | *.m4a | *.mpc | *.vqf) slack=2304 ;; esac
  if ! awk -v g="$got" -v w="$frames" -v s="$slack" 'BEGIN { exit !(g >= w && g <= w + s) }'; then
    echo "format $code: ${made[0]} decodes to $got frames, not $frames"; return 1
  fi
}

# Lists every file and link under a folder with its size, to see that a run
# changed nothing there.
tree_state() { (cd "$1" && find . -printf '%p %y %s\n' | sort); }
