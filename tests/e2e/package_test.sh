#!/usr/bin/env bash
# The Debian package: CPack builds it from the build tree; apt can install
# it on a system with nothing installed (simulated against the machine's
# package lists); its dependencies cover every library its programs link;
# unpacked into a throwaway root (dpkg -x) and run from /usr, its command
# records from a file into every built format with no environment variables
# set, and its window opens under Xvfb. Nothing is written into the unpacked
# tree.

# The test runs in a mount namespace of its own, where the unpacked package
# is laid over /usr: it runs from the paths apt would install it to (and
# that its install step wrote into its files), and nothing outside the test
# sees it.
if [ -z "${TARVEXA_PACKAGE_NAMESPACE:-}" ]; then
  userns=()
  [ "$(id -u)" -eq 0 ] || userns=(--map-root-user)
  exec unshare --mount "${userns[@]}" env TARVEXA_PACKAGE_NAMESPACE=1 bash "$0" "$@"
fi
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/installed.sh"
W=$(scratch package)
BUILD=$(dirname "$TARVEXA_BIN")

capture cpack -G DEB -B "$W/pkg" --config "$BUILD/CPackConfig.cmake"
check "cpack builds the package" test "$rc" -eq 0 || echo "$out"
debs=("$W"/pkg/*.deb)
DEB="${debs[0]}"
check "... one .deb ($(basename "$DEB"))" test "${#debs[@]}" -eq 1 -a -f "$DEB"

# A fresh Debian: apt resolves the package with an empty dpkg status.
: > "$W/empty-status"
capture apt-get -s -o Dir::State::status="$W/empty-status" install "$DEB"
check "apt installs it on a system with nothing installed" \
  grep -q "^Inst $(dpkg-deb -f "$DEB" Package) " <<<"$out" || echo "$out" | tail -5

ROOT="$W/root"
dpkg -x "$DEB" "$ROOT"
mount -t overlay overlay -o "lowerdir=$ROOT/usr:/usr" /usr ||
  { echo "the package cannot be laid over /usr"; exit 1; }
REC=/usr/bin/TarvexaSoundRecorder
check "/usr/bin/TarvexaSoundRecorder leads to the program folder" \
  test "$(readlink -f "$REC")" = /usr/lib/tarvexa-sound-recorder/TarvexaSoundRecorder

# The program folder holds every file of build/bin that is not a test's.
missing=$(not_installed "$TARVEXA_BIN" "$ROOT/usr/lib/tarvexa-sound-recorder" "$BUILD/not-installed.txt")
check "the package's program folder holds every file of build/bin the recorder uses${missing:+; it lacks: $(paste -sd, <<<"$missing")}" \
  test -z "$missing"

checks_scheduler_unit "$ROOT" /usr "$REC"

# Every library an ELF file of the package needs belongs to a package that
# Depends names, or that one of those depends on (libtag1v5 brings the
# library in libtag1v5-vanilla), or to the package itself.
named=$(dpkg-deb -f "$DEB" Depends | tr ',|' '\n\n' | sed 's/(.*//; s/[[:space:]]//g; s/:.*//' | sort -u)
depends=$( (echo "$named"; apt-cache depends --no-recommends --no-suggests $named |
  sed -n 's/^ *|\{0,1\}\(Pre\)\{0,1\}Depends: \([^ <>]*\).*/\2/p' | sed 's/:.*//') | sort -u)
uncovered=""
libcache=$(ldconfig -p)
while IFS= read -r elf; do
  for lib in $(readelf -d "$elf" | sed -n 's/.*(NEEDED).*\[\(.*\)\]/\1/p'); do
    [ -n "$(find "$ROOT" -name "$lib" -print -quit)" ] && continue
    path=$(awk -v l="$lib" '$1 == l && /x86-64/ && !found { print $NF; found = 1 }' <<<"$libcache")
    owner=""
    for p in "$path" "/usr$path" "$(readlink -f "$path")"; do  # /lib is /usr/lib
      owner=$(dpkg -S "$p" 2>/dev/null | awk -F: 'NR == 1 { print $1 }') && break
    done
    grep -qx "$owner" <<<"$depends" || uncovered+=" $(basename "$elf"):$lib($owner)"
  done
done < <(find "$ROOT" -type f -exec sh -c 'head -c4 "$1" | grep -q ELF' _ {} \; -print)
check "Depends covers every linked library${uncovered:+, not:$uncovered}" test -z "$uncovered"

# Every format the package says it writes, from the unpacked tree, with
# its default settings.
formats=$(built_formats "$REC")
check "the package writes WAV, MP3, Ogg Vorbis and FLAC at least" \
  test "$(grep -o -w -E 'wav|mp3|ogg|flac' <<<"$formats" | sort | tr '\n' ' ')" = "flac mp3 ogg wav "
mkdir -p "$W/home" "$W/out"
sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 3 sine 440 sine 660 vol 0.5 2>/dev/null
before=$(tree_state "$ROOT")
for name in $formats; do
  # HTK: libsndfile writes one channel only, and the recorder leaves that
  # to the writer's "Invalid format!" (soundfile_writer_test).
  extra=()
  [ "$name" = htk ] && extra=(--channels 1)
  check "$name records from the package" \
    records_format "$REC" "$W/home" "$W/out" "$name" "$W/in.wav" 3 "${extra[@]}"
done

# The window, on a private X server and the virtual sound card: it reaches
# the end of its initialisation, and SIGTERM ends it through its exit
# sequence, which saves the settings into the user's data folder.
start_virtual_audio "$W"
data="$W/home/.local/share/tarvexa-sound-recorder"
cat > "$W/window.sh" <<EOF
env -i HOME="$W/home" PATH=/usr/bin:/bin DISPLAY="\$DISPLAY" XAUTHORITY="\$XAUTHORITY" \
  ALSA_CONFIG_PATH="$ALSA_CONFIG_PATH" "$REC" > "$W/window.txt" 2>&1 &
pid=\$!
timeout 60 xdotool search --sync --onlyvisible --name "^Tarvexa Sound Recorder" > /dev/null || echo "no window"
for i in \$(seq 300); do grep -q "Finished Initialization" "$data/Tarvexa Sound Recorder.log" && break; sleep 0.2; done
kill -TERM \$pid
wait \$pid
echo "exit \$?"
EOF
capture xvfb-run -a bash "$W/window.sh"
check "the window opens and ends on SIGTERM with status 0" test "$out" = "exit 0" || cat "$W/window.txt"
check "... after its initialisation" grep -q "Finished Initialization" "$data/Tarvexa Sound Recorder.log"
check "... and saves its settings in the user's data folder" grep -q "^\[OUTPUT\]" "$data/Config.ini"
check "nothing is written into the unpacked tree" test "$before" = "$(tree_state "$ROOT")"

finish
