#!/usr/bin/env bash
# Installs every Debian package the recorder, its tests and its benchmarks need.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

PKGS=(
  # build
  build-essential cmake pkg-config ninja-build
  # engine libraries
  portaudio19-dev libsndfile1-dev libasound2-dev libpulse-dev
  libmp3lame-dev libtwolame-dev libwavpack-dev libflac-dev libvorbis-dev libogg-dev
  libsoxr-dev libkissfft-dev libtag1-dev
  # thread priorities through RealtimeKit (sd-bus)
  libsystemd-dev
  # our own AAC encoder program (External/faac): FFmpeg's AAC encoder and muxers;
  # the WMA component: FFmpeg's WMA v2 encoder, ASF muxer and resampler
  libavcodec-dev libavformat-dev libavutil-dev libswresample-dev
  # the Musepack encoder program (mpcenc) and its decoder for the tests
  musepack-tools
  # MACDll.so, our Monkey's Audio library: CRC-32, MD5 and the tag calls (TagLib above)
  zlib1g-dev nettle-dev
  # user interface
  qt6-base-dev qt6-base-dev-tools libgl-dev libx11-dev libxtst-dev
  # desktop services: opening files and links (xdg-open), file types for the
  # output list's "Open"
  xdg-utils shared-mime-info
  # tests: unit framework, a virtual capture device, and decoders nobody here wrote
  libgtest-dev pulseaudio pulseaudio-utils libasound2-plugins alsa-utils
  ffmpeg sox libsox-fmt-all flac wavpack mpg123 lame vorbis-tools twolame
  musepack-tools
  xvfb xauth dbus dbus-x11 x11-utils xdotool
  # install and package: icons, manual page, checks of the launcher and the
  # metainfo, the Debian package and its library dependencies
  librsvg2-bin scdoc desktop-file-utils appstream man-db file dpkg-dev sndfile-programs
  # tests: a faked wall clock for the scheduler (libfaketime)
  faketime
)

missing=()
for p in "${PKGS[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ "${#missing[@]}" -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  $SUDO apt-get update -qq
  $SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
