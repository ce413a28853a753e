#!/usr/bin/env bash
# A virtual capture device for tests and CI, where there is no sound card.
#
# It runs a private PulseAudio daemon (as the current user, root included)
# with one null sink, "tarvexa_sink". The null sink consumes what is played
# into it at the pace of a real-time clock, and its monitor, the default
# source, hands the same samples back, so a recorder reading the default
# capture device gets real-time paced audio. ALSA programs (PortAudio's ALSA
# backend among them) reach the daemon through the "pulse" plugin of
# libasound2-plugins: a private ALSA configuration, chosen through
# ALSA_CONFIG_PATH, makes "default" a pulse device. Nothing in $HOME or /etc
# is touched, and the daemon needs neither D-Bus nor a display.
#
#   eval "$(tests/support/virtual-audio.sh start)"   start (or reuse), export the environment
#   tests/support/virtual-audio.sh play FILE [SINK]  play FILE into the sink (or SINK), returns when done
#   tests/support/virtual-audio.sh add-sink NAME     load one more null sink, NAME (its monitor is the
#                                                    source NAME.monitor); prints its module index,
#                                                    which "pactl unload-module" takes
#   tests/support/virtual-audio.sh env               the environment of a running device
#   tests/support/virtual-audio.sh status            exit 0 when running
#   tests/support/virtual-audio.sh stop              stop what start started
#
# The state folder is $TARVEXA_AUDIO_DIR, by default /tmp/tarvexa-audio-<uid>
# (or under $TMPDIR). Only "start" and "env" write to standard output; every
# message goes to standard error.
set -euo pipefail

SINK=tarvexa_sink
DIR="${TARVEXA_AUDIO_DIR:-${TMPDIR:-/tmp}/tarvexa-audio-$(id -u)}"
RUN="$DIR/run"
SOCKET="$RUN/native"
PIDFILE="$RUN/pid"
ALSA_MAIN_CONF="${TARVEXA_ALSA_MAIN_CONF:-/usr/share/alsa/alsa.conf}"

say() { echo "virtual-audio: $*" >&2; }

# The environment every client of the device needs. The recorder needs only
# ALSA_CONFIG_PATH (the pulse device names its server), paplay and pactl need
# the PULSE_* ones; PULSE_COOKIE and PULSE_RUNTIME_PATH keep libpulse from
# writing into $HOME.
client_env() {
  cat <<EOF
export PULSE_SERVER='unix:$SOCKET'
export PULSE_CLIENTCONFIG='$DIR/client.conf'
export PULSE_COOKIE='$DIR/cookie'
export PULSE_RUNTIME_PATH='$RUN'
export ALSA_CONFIG_PATH='$ALSA_MAIN_CONF:$DIR/asound.conf'
export TARVEXA_VIRTUAL_SINK='$SINK'
export TARVEXA_AUDIO_DIR='$DIR'
EOF
}

CLIENT_ENV=(PULSE_SERVER="unix:$SOCKET" PULSE_CLIENTCONFIG="$DIR/client.conf"
  PULSE_COOKIE="$DIR/cookie" PULSE_RUNTIME_PATH="$RUN"
  ALSA_CONFIG_PATH="$ALSA_MAIN_CONF:$DIR/asound.conf")
# Background clients run env directly, not through this function, so that
# "$!" is the client itself and not a subshell.
with_client_env() { env "${CLIENT_ENV[@]}" "$@"; }

# Whether process PID runs. A zombie does not: our daemons are orphans, and
# in a container the process that adopts them may never reap them.
alive() {
  local st
  st="$(cat "/proc/$1/stat" 2>/dev/null)" || return 1
  st="${st##*) }"
  [ -n "$st" ] && [ "${st:0:1}" != Z ]
}

# The pid in FILE if that process is alive and is the program NAME (a
# recycled pid must not be taken for ours), else nothing.
own_pid() {
  [ -f "$1" ] || return 1
  local pid
  pid="$(tr -dc '0-9' <"$1")"
  [ -n "$pid" ] && alive "$pid" || return 1
  [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "$2" ] || return 1
  echo "$pid"
}

daemon_pid() { own_pid "$PIDFILE" pulseaudio; }

responding() {
  with_client_env pactl info >/dev/null 2>&1
}

# Running means the daemon answers and the sink's keep-alive reader (see
# start) is there; anything less is started afresh.
running() {
  daemon_pid >/dev/null && own_pid "$DIR/keepalive.pid" parec >/dev/null && responding
}

write_config() {
  mkdir -p "$DIR" "$RUN" "$DIR/state" "$DIR/config"
  chmod 700 "$DIR" "$RUN"
  printf 'autospawn = no\n' >"$DIR/client.conf"
  # The daemon accepts anonymous clients; the cookie only has to exist so
  # that libpulse does not create one in $HOME.
  head -c 256 /dev/urandom >"$DIR/cookie"
  chmod 600 "$DIR/cookie"
  cat >"$DIR/asound.conf" <<EOF
# Loaded after $ALSA_MAIN_CONF through ALSA_CONFIG_PATH.
pcm.!default {
  type pulse
  server "unix:$SOCKET"
  hint {
    show on
    description "Tarvexa virtual capture device"
  }
}
ctl.!default {
  type pulse
  server "unix:$SOCKET"
}
EOF
  cat >"$DIR/daemon.pa" <<EOF
.fail
load-module module-native-protocol-unix socket=$SOCKET auth-anonymous=1
load-module module-null-sink sink_name=$SINK rate=44100 channels=2 sink_properties=device.description=Tarvexa_virtual_sink
set-default-sink $SINK
set-default-source $SINK.monitor
EOF
}

start() {
  if running; then
    client_env
    return 0
  fi
  local tool
  for tool in pulseaudio pactl paplay; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      say "$tool is not installed (scripts/install-deps.sh installs pulseaudio and pulseaudio-utils)"
      return 2
    fi
  done
  if [ ! -f "$ALSA_MAIN_CONF" ]; then
    say "no ALSA configuration at $ALSA_MAIN_CONF"
    return 2
  fi
  if [ ${#SOCKET} -gt 100 ]; then
    say "socket path too long for a unix socket: $SOCKET (set TARVEXA_AUDIO_DIR to a shorter folder)"
    return 2
  fi
  # A daemon of ours that no longer answers, or the leftovers of one. A
  # folder that holds anything else is not ours to empty.
  if [ -d "$DIR" ] && [ ! -f "$DIR/daemon.pa" ] && [ -n "$(ls -A "$DIR")" ]; then
    say "$DIR exists and is not a virtual device's folder"
    return 2
  fi
  stop_daemon
  rm -rf "$DIR"
  write_config

  # --daemonize makes the parent wait until the daemon has loaded daemon.pa,
  # so a failure shows in the exit status. Root may run the daemon in user
  # mode (it only warns); -n skips the system-wide default.pa with its
  # hardware, D-Bus and X11 modules.
  if ! env -u DISPLAY -u DBUS_SESSION_BUS_ADDRESS \
      HOME="$DIR" XDG_RUNTIME_DIR="$RUN" PULSE_RUNTIME_PATH="$RUN" \
      PULSE_STATE_PATH="$DIR/state" XDG_CONFIG_HOME="$DIR/config" \
      PULSE_CLIENTCONFIG="$DIR/client.conf" PULSE_COOKIE="$DIR/cookie" \
      pulseaudio -n -F "$DIR/daemon.pa" --daemonize=yes --use-pid-file=yes \
        --system=no --exit-idle-time=-1 --disallow-exit=yes \
        --high-priority=no --realtime=no --log-level=info \
        --log-target="file:$DIR/pulse.log" </dev/null >/dev/null 2>"$DIR/start.err" 9>&-; then
    say "pulseaudio did not start:"
    sed 's/^/  /' "$DIR/start.err" "$DIR/pulse.log" >&2 2>/dev/null || true
    return 1
  fi
  local i up=0
  for i in $(seq 1 100); do
    if daemon_pid >/dev/null && responding; then up=1; break; fi
    sleep 0.1
  done
  if [ "$up" = 0 ]; then
    say "pulseaudio started but does not answer on $SOCKET:"
    sed 's/^/  /' "$DIR/pulse.log" >&2 2>/dev/null || true
    stop_daemon
    return 1
  fi
  # An idle null sink sleeps in 2-second steps and only notices a new
  # recording stream at its next wake-up: the stream would start up to 2 s
  # late and then get the missed audio in one burst, more than its buffer
  # holds. A reader asking for a short latency keeps the sink's clock
  # running in small steps, as a sound card's would.
  env "${CLIENT_ENV[@]}" setsid parec --device="$SINK.monitor" --latency-msec=10 --raw \
    </dev/null >/dev/null 2>"$DIR/keepalive.err" 9>&- &
  echo "$!" >"$DIR/keepalive.pid"
  sleep 0.2
  if ! own_pid "$DIR/keepalive.pid" parec >/dev/null; then
    say "the sink's keep-alive reader (parec) did not start:"
    sed 's/^/  /' "$DIR/keepalive.err" >&2 2>/dev/null || true
    stop_daemon
    return 1
  fi
  # The sink takes the short steps from its next wake-up on: wait for it,
  # so that the first recording already starts on time.
  local bytes
  bytes="$(timeout 5 env "${CLIENT_ENV[@]}" parec --device="$SINK.monitor" --latency-msec=10 \
    --raw 2>/dev/null | head -c 8820 | wc -c)" || true
  if [ "${bytes:-0}" -lt 8820 ]; then
    say "the sink's monitor gives no audio"
    stop_daemon
    return 1
  fi
  say "started (pid $(daemon_pid), sink $SINK, folder $DIR)"
  client_env
}

stop_daemon() {
  local pid i
  if pid="$(own_pid "$DIR/keepalive.pid" parec)"; then kill "$pid" 2>/dev/null || true; fi
  rm -f "$DIR/keepalive.pid"
  # Those of the sinks add-sink loaded.
  if [ -f "$DIR/keepalives" ]; then
    while read -r pid; do
      if [ -n "$pid" ] && alive "$pid" && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "parec" ]; then
        kill "$pid" 2>/dev/null || true
      fi
    done <"$DIR/keepalives"
    rm -f "$DIR/keepalives"
  fi
  # paplay processes started by "play" that are still running.
  if [ -f "$DIR/players" ]; then
    while read -r pid; do
      if [ -n "$pid" ] && alive "$pid" && [ "$(cat "/proc/$pid/comm" 2>/dev/null)" = "paplay" ]; then
        kill "$pid" 2>/dev/null || true
      fi
    done <"$DIR/players"
    rm -f "$DIR/players"
  fi
  pid="$(daemon_pid)" || return 0
  kill "$pid" 2>/dev/null || true
  for i in $(seq 1 50); do
    alive "$pid" || return 0
    sleep 0.1
  done
  kill -KILL "$pid" 2>/dev/null || true
}

stop() {
  local had=0
  daemon_pid >/dev/null && had=1
  stop_daemon
  # Only a folder that looks like ours is removed.
  if [ -f "$DIR/daemon.pa" ]; then rm -rf "$DIR"; fi
  [ "$had" = 1 ] && say "stopped"
  return 0
}

play() {
  local file="${1:-}" sink="${2:-$SINK}"
  if [ -z "$file" ] || [ ! -f "$file" ]; then
    say "play: no such file: ${file:-<none>}"
    return 2
  fi
  if ! running; then
    say "play: the virtual device is not running (run: $0 start)"
    return 1
  fi
  # Recorded so that stop can end a player that a test left behind.
  env "${CLIENT_ENV[@]}" paplay --device="$sink" "$file" &
  local pid=$!
  echo "$pid" >>"$DIR/players"
  local rc=0
  wait "$pid" || rc=$?
  return "$rc"
}

add_sink() {
  local name="${1:-}"
  if ! [[ "$name" =~ ^[A-Za-z0-9_.-]+$ ]]; then
    say "add-sink: a sink name of letters, digits, '_', '.' and '-' is needed"
    return 2
  fi
  if ! running; then
    say "add-sink: the virtual device is not running (run: $0 start)"
    return 1
  fi
  local module
  module="$(with_client_env pactl load-module module-null-sink sink_name="$name" rate=44100 \
    channels=2 sink_properties=device.description="$name")" || return 1
  # A keep-alive reader as for the first sink (see start), so that the new
  # sink runs in short steps too; stop ends it.
  env "${CLIENT_ENV[@]}" setsid parec --device="$name.monitor" --latency-msec=10 --raw \
    </dev/null >/dev/null 2>/dev/null 9>&- &
  echo "$!" >>"$DIR/keepalives"
  timeout 5 env "${CLIENT_ENV[@]}" parec --device="$name.monitor" --latency-msec=10 --raw \
    2>/dev/null | head -c 8820 >/dev/null || true
  echo "$module"
}

# start and stop from parallel tests take turns. The processes that outlive
# this script must not inherit the lock's descriptor.
lock() {
  mkdir -p "$(dirname "$DIR")"
  exec 9>"$DIR.lock"
  if ! flock -w 60 9; then
    say "another start or stop holds $DIR.lock"
    exit 1
  fi
}

case "${1:-}" in
  start) lock; start ;;
  stop) lock; stop ;;
  play) shift; play "$@" ;;
  add-sink) shift; add_sink "$@" ;;
  status) if running; then say "running (pid $(daemon_pid), folder $DIR)"; else say "not running"; exit 1; fi ;;
  env) if running; then client_env; else say "not running"; exit 1; fi ;;
  *)
    echo "usage: $0 start|stop|status|env|play FILE [SINK]|add-sink NAME" >&2
    exit 2
    ;;
esac
