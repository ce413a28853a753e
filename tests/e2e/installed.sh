# Helpers of the tests that run an installed recorder (sourced after lib.sh).

# Runs a command as a fresh login would: a home folder and PATH, none of the
# recorder's variables, no LD_LIBRARY_PATH.
run_clean() { local home="$1"; shift; env -i HOME="$home" PATH=/usr/bin:/bin LANG=C.UTF-8 "$@"; }

# The formats an installed command says it writes (its --help).
built_formats() {
  "$1" --help | awk '/^Output formats this build writes/ { on = 1; next } /^[^ ]/ { on = 0 } on'
}

# Seconds of audio in FILE as a reader nobody here wrote decodes it. A
# headless RAW file is measured with the sample width, rate and channels
# that the recorder's LOG announced for it; VQF is decoded with the vqfdec
# in PROGRAM_FOLDER.
decoded_seconds() {
  local file="$1" log="$2" program_folder="$3"
  local frames rate
  case "$file" in
    *.mp3)  # mpg123 trims the encoder's delay and padding (LAME tag)
      frames=$(mpg123 -q -m -s "$file" | wc -c | awk '{ print $1 / 2 }')
      rate=$(probe "$file" sample_rate) ;;
    *.flac)
      flac -s -t "$file" || return 1
      frames=$(metaflac --show-total-samples "$file")
      rate=$(metaflac --show-sample-rate "$file") ;;
    *.raw)
      local format
      format=$(grep -m1 'Format: RAW:' "$log")
      local bits=$(sed -n 's/.* \([0-9][0-9]*\) bit.*/\1/p' <<<"$format")
      local channels=1
      grep -q Stereo <<<"$format" && channels=2
      rate=$(sed -n 's/.* \([0-9][0-9]*\) Hz.*/\1/p' <<<"$format")
      frames=$(stat -c %s "$file" | awk -v c="$channels" -v b="${bits:-0}" '{ print b ? $1 / (b / 8 * c) : 0 }') ;;
    *.vqf)
      "$program_folder/vqfdec" "$file" "$file.wav" > /dev/null || return 1
      decoded_seconds "$file.wav" "$log" "$program_folder"
      return ;;
    *.wv | *.ogg | *.mp2 | *.wma | *.ape | *.aac | *.m4a | *.mp4 | *.mpc)
      case "$file" in *.wv) wvunpack -q -v "$file" || return 1 ;; esac
      frames=$(ffmpeg -v error -i "$file" -ac 1 -f s16le - | wc -c | awk '{ print $1 / 2 }')
      rate=$(probe "$file" sample_rate) ;;
    *)  # one of the sound-file library's containers
      local info
      info=$(sndfile-info "$file") || return 1
      frames=$(awk '/^Frames/ { n = $3 } END { print n + 0 }' <<<"$info")
      rate=$(awk '/^Sample Rate/ { n = $4 } END { print n + 0 }' <<<"$info") ;;
  esac
  awk -v f="$frames" -v r="$rate" 'BEGIN { if (r > 0) printf "%.4f\n", f / r; else print -1 }'
}

# Records the sound file IN (SECONDS long) with the installed command REC
# into format NAME under folder OUT and checks the file it made: exactly
# one, which decodes to the length of IN: none of it lost, and no more than
# a lossy coder's last frames added. Extra arguments go to the recorder.
records_format() {
  local rec="$1" home="$2" out="$3" name="$4" in="$5" seconds="$6"
  shift 6
  local log="$out/$name.txt"
  if ! run_clean "$home" "$rec" --record "$out/$name" --input-file "$in" --fast \
      --format "$name" "$@" > "$log" 2>&1; then
    echo "$name: the recording failed:"; cat "$log"; return 1
  fi
  local made
  mapfile -t made < <(find "$out" -maxdepth 1 -name "$name.*" ! -name '*.txt')
  if [ "${#made[@]}" -ne 1 ]; then echo "$name: made ${made[*]:-nothing}"; return 1; fi
  local got
  got=$(decoded_seconds "${made[0]}" "$log" "$(dirname "$(readlink -f "$rec")")") ||
    { echo "$name: ${made[0]} does not decode"; return 1; }
  local slack=0.01
  case "${made[0]}" in *.mp3 | *.ogg | *.mp2 | *.wma | *.aac | *.m4a | *.mp4 | *.mpc | *.vqf) slack=0.35 ;; esac
  if ! awk -v g="$got" -v w="$seconds" -v s="$slack" 'BEGIN { exit !(g >= w * 0.99 && g <= w + s) }'; then
    echo "$name: ${made[0]} decodes to $got s, not $seconds s"; return 1
  fi
}

# Lists every file and link under a folder with its size, to see that a run
# changed nothing there.
tree_state() { (cd "$1" && find . -printf '%p %y %s\n' | sort); }

# What a file is, as far as running it goes: an ELF executable or library
# (stripped or not), or another file; and whether a program or another file
# may be executed (a library needs no such bit: Debian installs them 0644).
file_kind() {
  local kind
  kind=$(file -bL "$1" | grep -o -E '^ELF [0-9]+-bit [LM]SB (pie executable|executable|shared object)') || kind=file
  [[ "$kind" != *"shared object" && -x "$1" ]] && kind+=", executable"
  echo "$kind"
}

# The files of the build's program folder BIN that the installed program
# folder INSTALLED lacks or holds as another kind of file, one a line. Not
# counted: the build's own programs, listed in NOT_INSTALLED (tests,
# benchmarks), and the user's files, which the recorder writes into the
# build's folder when it runs from there.
not_installed() {
  local bin="$1" installed="$2" list="$3" f
  if [ ! -s "$list" ]; then echo "(no list of the build's own programs: $list)"; return; fi
  while IFS= read -r f; do
    grep -qxF "$bin/$f" "$list" && continue
    case "${f##*/}" in
      Config.ini* | Task.ini* | Output.ini* | temp.tag | *.log | *.lock) continue ;;
    esac
    case "$f" in Journal/*) continue ;; esac  # the recovery journal
    if [ ! -e "$installed/$f" ]; then
      echo "$f"
    elif [ "$(file_kind "$bin/$f")" != "$(file_kind "$installed/$f")" ]; then
      echo "$f ($(file_kind "$bin/$f"), installed as $(file_kind "$installed/$f"))"
    fi
  done < <(cd "$bin" && find . \( -type f -o -type l \) -printf '%P\n' | LC_ALL=C sort)
}

# The scheduler without a window, in the tree installed for PREFIX under
# ROOT (a staging folder, or "" when installed in place), of the command
# REC: where the command has --scheduler, the one user unit of the tree
# (share/ or lib/systemd/user) starts the installed executable (by an
# absolute path, through bin/ or not) with --scheduler, and systemd finds
# nothing wrong in it; a command without the mode comes with no unit.
checks_scheduler_unit() {
  local root="$1" prefix="$2" rec="$3" units help
  units=$(cd "$root$prefix" && find share/systemd/user lib/systemd/user -name '*.service' 2>/dev/null || true)
  help=$("$rec" --help)
  if ! grep -q -- '^ *--scheduler ' <<<"$help"; then
    check "no scheduler unit for a command without --scheduler (${units:-none})" test -z "$units"
    return
  fi
  check "the scheduler's user unit is installed (${units:-none})" \
    grep -qx -E '(share|lib)/systemd/user/tarvexa-scheduler\.service' <<<"$units"
  local unit="$root$prefix/$units" program
  program=$(sed -n 's/^ExecStart=\(\/[^ ]*\) --scheduler$/\1/p' "$unit" 2>/dev/null)
  check "... and starts the installed executable with --scheduler (${program:-no such line})" \
    test -n "$program" -a "$(readlink -f "$root$program")" = \
    "$(readlink -f "$root$prefix/lib/tarvexa-sound-recorder/TarvexaSoundRecorder")"
  [ -z "$root" ] || return 0  # its command is checked where it runs
  local runtime
  runtime=$(mktemp -d)
  capture env XDG_RUNTIME_DIR="$runtime" MANPATH="$prefix/share/man" systemd-analyze verify --user "$unit"
  rm -rf "$runtime"
  check "... which systemd reads without a complaint${out:+: $out}" test "$rc" -eq 0 -a -z "$out"
}
