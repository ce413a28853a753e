#!/usr/bin/env bash
# `cmake --install` into a fresh prefix: the installed program folder holds
# every file of build/bin that is not a test's; the command in bin/ records MP3,
# FLAC and Ogg Vorbis with no environment variables set and keeps the user's
# files out of the installed tree; the launcher, the metainfo, the manual
# page and the scheduler's user unit are valid and name what is installed.
source "$(dirname "$0")/lib.sh"
source "$(dirname "$0")/installed.sh"
W=$(scratch install)
BUILD=$(dirname "$TARVEXA_BIN")
P="$W/prefix"
ID=org.tarvexa.SoundRecorder

capture cmake --install "$BUILD" --prefix "$P"
check "cmake --install succeeds" test "$rc" -eq 0 || echo "$out"
REC="$P/bin/TarvexaSoundRecorder"
check "bin/TarvexaSoundRecorder starts the installed executable" \
  test "$(readlink -f "$REC")" = "$P/lib/tarvexa-sound-recorder/TarvexaSoundRecorder"

# Every file that the build's program folder holds for the recorder (the
# libraries and programs it loads or starts, its components, its read-only
# files) is in the installed one, as the same kind of file: a file added to
# build/bin without an install rule fails here. Against an empty folder the
# check names the recorder's own files and none of the tests' or benchmarks'.
missing=$(not_installed "$TARVEXA_BIN" "$P/lib/tarvexa-sound-recorder" "$BUILD/not-installed.txt")
check "the installed program folder holds every file of build/bin the recorder uses${missing:+; it lacks: $(paste -sd, <<<"$missing")}" \
  test -z "$missing"
mkdir -p "$W/empty"
all=$(not_installed "$TARVEXA_BIN" "$W/empty" "$BUILD/not-installed.txt")
check "... a check that counts the recorder's files and not the build's own programs" \
  test "$(grep -c -x -E 'TarvexaSoundRecorder|lame_enc\.so|components/SndAudioRecord2\.so' <<<"$all")" -eq 3 \
  -a -z "$(grep -E '_test$|^bench_|^fake_logind$|^screenshot_' <<<"$all")"

# The command line, from the prefix only. The prefix is writable (as an
# install into ~/.local is), and still the user's files go to the data folder.
sox -n -r 44100 -c 2 -b 16 "$W/in.wav" synth 4 sine 440 sine 660 vol 0.5 2>/dev/null
mkdir -p "$W/home" "$W/out"
before=$(tree_state "$P")
for name in mp3 flac ogg; do
  check "$name records from the installed command" \
    records_format "$REC" "$W/home" "$W/out" "$name" "$W/in.wav" 4
done
# The installed program folder is not the user's to change: an encoder
# program of his own goes into External/ in his data folder, and the
# installed recorder runs it from there.
ext="$W/home/.local/share/tarvexa-sound-recorder/External"
mkdir -p "$ext"
printf '#!/bin/sh\necho "$@" > "%s"\nexec mpcenc "$@"\n' "$W/mppenc-ran" > "$ext/mppenc"
chmod +x "$ext/mppenc"
check "mpc records through the user's own External/mppenc" \
  records_format "$REC" "$W/home" "$W/out" mpc "$W/in.wav" 4
check "... which the recorder ran" test -s "$W/mppenc-ran"
check "bin/vqfdec starts the installed decoder" \
  test "$(readlink -f "$P/bin/vqfdec")" = "$P/lib/tarvexa-sound-recorder/vqfdec"
check "the event log is in the user's data folder" \
  test -s "$W/home/.local/share/tarvexa-sound-recorder/Tarvexa Sound Recorder.log"
check "nothing is written into the installed tree" test "$before" = "$(tree_state "$P")"
# The libraries and components resolve from the system alone.
missing=$(find "$P" -name '*.so' -o -type f -perm -u+x | xargs -r ldd 2>/dev/null | grep 'not found' || true)
check "every library of the installed programs is found (${missing:-none missing})" test -z "$missing"

# Desktop integration.
desktop="$P/share/applications/$ID.desktop"
metainfo="$P/share/metainfo/$ID.metainfo.xml"
capture desktop-file-validate "$desktop"
check "the launcher validates${out:+: $out}" test "$rc" -eq 0 -a -z "$out"
# No network here: the links are checked for form, not fetched.
capture appstreamcli validate --no-net "$metainfo"
check "the metainfo validates" test "$rc" -eq 0 || echo "$out"
check "... and names the launcher" grep -q "<launchable type=\"desktop-id\">$ID.desktop<" "$metainfo"
shots=$(sed -n 's|.*<image>.*/\([^/<]*\)</image>.*|\1|p' "$metainfo")
for s in $shots; do
  check "screenshot $s is one of docs/screenshots" test -f "$TARVEXA_SOURCE_DIR/docs/screenshots/$s"
done
check "... and there are screenshots" test -n "$shots"
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
check "the launcher starts the installed command ($exec_name)" test -x "$P/bin/$exec_name"
icon=$(sed -n 's/^Icon=//p' "$desktop")
check "the icon is in hicolor as SVG" test -f "$P/share/icons/hicolor/scalable/apps/$icon.svg"
for size in 16 22 24 32 48 64 128 256; do
  png="$P/share/icons/hicolor/${size}x${size}/apps/$icon.png"
  check "... and as a ${size}x${size} PNG" grep -q "PNG image data, $size x $size" <<<"$(file "$png")"
done

# Every command in bin/ has a manual page, which renders without warnings.
for command in "$P"/bin/*; do
  page="$P/share/man/man1/$(basename "$command").1.gz"
  warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l "$page" 2>&1 >/dev/null) || true
  check "the manual page of $(basename "$command") renders without warnings${warnings:+: $warnings}" \
    test -f "$page" -a -z "$warnings"
done
man="$P/share/man/man1/TarvexaSoundRecorder.1.gz"
page=$(LC_ALL=C man -l "$man" 2>/dev/null)
options=$("$REC" --help | grep -o -- '--[a-z-]*' | sort -u)
check "--help names options" test -n "$options"
for option in $options; do
  check "the manual page explains $option" grep -q -- "^ *$option" <<<"$page"
done

checks_scheduler_unit "" "$P" "$REC"

finish
