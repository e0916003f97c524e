#!/usr/bin/env bash
# The gateway on one machine: a simulated radio on a pseudo-terminal, the
# reflector tool on loopback, and sdsbridge between them. Interactive by
# default; --check plays the demo's radio sessions and prints PASS or FAIL.
# Usage: scripts/demo.sh [--check] [--build-dir DIR] [--keep] [--radio MODEL]
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${SDSBRIDGE_BUILD_DIR:-$repo/build}
mode=interactive
keep=0
radio_model=MTM800e
args=("$@")

while [ $# -gt 0 ]; do
    case $1 in
    --check) mode=check ;;
    --build-dir) build=$2; shift ;;
    --keep) keep=1 ;;
    --radio) radio_model=$2; shift ;;
    -h | --help)
        sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'
        exit 0 ;;
    *) echo "demo: unknown option $1" >&2; exit 2 ;;
    esac
    shift
done

build=$(cd "$build" 2>/dev/null && pwd) || { echo "demo: no build directory; build first (./run-demo.sh builds everything)" >&2; exit 2; }
gateway_bin=$build/sdsbridge
radio_bin=$build/tools/sdsbridge-radio-sim
reflector_bin=$build/tools/sdsbridge-reflector
player_bin=$build/tools/sdsbridge-session
for bin in "$gateway_bin" "$radio_bin" "$reflector_bin" "$player_bin"; do
    if [ ! -x "$bin" ]; then
        echo "demo: $bin is missing; build first (./run-demo.sh builds everything)" >&2
        exit 2
    fi
done

# --- check form: the session player, which isolates the gateway itself ------

if [ "$mode" = check ]; then
    "$player_bin" --gateway "$gateway_bin" "$repo"/tests/sessions/demo/*.session
    status=$?
    case $status in
    0) echo "PASS" ;;
    77) echo "SKIPPED (no private network and /tmp for the gateway)" ;;
    *) echo "FAIL" ;;
    esac
    exit $status
fi

# --- interactive form ---------------------------------------------------------

# The gateway writes /tmp/dtmf_ctrl and /tmp/ptt and binds UDP 5230 and 54001:
# on a station's computer those belong to the real voice gateway, so the demo
# runs in a network and mount namespace of its own, with a private /tmp.
if [ -z "${SDSBRIDGE_DEMO_ISOLATED:-}" ]; then
    user_ns=()
    [ "$(id -u)" -eq 0 ] || user_ns=(-r)
    SDSBRIDGE_DEMO_ISOLATED=1 exec unshare "${user_ns[@]}" -n -m --propagation private \
        bash -c 'mount -t tmpfs tmpfs /tmp && ip link set lo up && exec "$0" "$@"' "$0" "${args[@]}" ||
        { echo "demo: cannot make a private network and /tmp (unshare)" >&2; exit 1; }
fi

GATEWAY_CALL=DEMO-GW
GATEWAY_COMMENT="Demo gateway"
REFLECTOR_PORT=5220
LOCAL_PORT=54001
DTMF_CTRL=/tmp/dtmf_ctrl
PTT=/tmp/ptt

dir=$(mktemp -d /tmp/sdsbridge-demo.XXXXXX)
radio_pid="" reflector_pid="" gateway_pid="" voice_gateway_pid="" viewer_pids=() radio_fd="" reflector_fd=""

say() { printf '[demo]      %s\n' "$*"; }

stop_pid() { # pid, seconds to wait before SIGKILL
    local pid=$1 tries=$(($2 * 10))
    [ -n "$pid" ] || return 0
    while kill -0 "$pid" 2>/dev/null && [ $tries -gt 0 ]; do
        sleep 0.1
        tries=$((tries - 1))
    done
    kill -0 "$pid" 2>/dev/null && kill -KILL "$pid" 2>/dev/null
    wait "$pid" 2>/dev/null
}

cleanup() {
    trap - INT TERM EXIT
    [ -n "$gateway_pid" ] && kill -INT "$gateway_pid" 2>/dev/null
    [ -n "$radio_fd" ] && printf 'quit\n' >&"$radio_fd" 2>/dev/null
    [ -n "$reflector_fd" ] && printf 'quit\n' >&"$reflector_fd" 2>/dev/null
    stop_pid "$gateway_pid" 5
    [ -n "$voice_gateway_pid" ] && kill -INT "$voice_gateway_pid" 2>/dev/null
    stop_pid "$voice_gateway_pid" 3
    stop_pid "$radio_pid" 3
    stop_pid "$reflector_pid" 3
    for pid in "${viewer_pids[@]}"; do kill "$pid" 2>/dev/null; done
    if [ "$keep" = 1 ]; then
        # The private /tmp goes with the namespace: keep the logs beside the build.
        cp -r "$dir" "$build/demo-logs" && say "logs kept in $build/demo-logs"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits until file contains text (fixed string), or until the program with
# pid has ended; 1 after timeout seconds or when the program ended first.
wait_for() {
    local file=$1 text=$2 pid=$3 tries=$(($4 * 10))
    while [ $tries -gt 0 ] && kill -0 "$pid" 2>/dev/null; do
        grep -qF -- "$text" "$file" 2>/dev/null && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    grep -qF -- "$text" "$file" 2>/dev/null
}

start_program() { # name, log, text that says it is up, its input, command...
    local name=$1 log=$2 ready=$3 input=$4
    shift 4
    "$@" <"$input" >"$log" 2>&1 &
    local pid=$!
    if ! wait_for "$log" "$ready" "$pid" 10; then
        say "the $name did not start:"
        cat "$log"
        exit 1
    fi
    started_pid=$pid
}

start_all() {
    mkfifo "$dir/radio.in" "$dir/reflector.in"
    exec {radio_fd}<>"$dir/radio.in"
    exec {reflector_fd}<>"$dir/reflector.in"
    start_program "radio simulator" "$dir/radio.log" "PTY " "$dir/radio.in" \
        "$radio_bin" --link "$dir/radio"
    radio_pid=$started_pid
    start_program "reflector tool" "$dir/reflector.log" "reflector listening" "$dir/reflector.in" \
        "$reflector_bin" --port "$REFLECTOR_PORT" --gateway 127.0.0.1:5230
    reflector_pid=$started_pid
    # The voice gateway as stations run it: each control path a link to a
    # pseudo-terminal it reads. The session player stands in for it.
    start_program "voice gateway" "$dir/voice-gateway.log" "voice gateway: $PTT" /dev/null \
        "$player_bin" --voice-gateway "$DTMF_CTRL" --voice-gateway "$PTT"
    voice_gateway_pid=$started_pid
    cat >"$dir/sdsbridge.conf" <<EOF
SYS_HARDWARE=$radio_model
SYS_SERPORT=$dir/radio
SYS_SERBAUD=9600
SYS_CTOM_WAIT=1
DMO_REPEATER=NO
REFLECTOR_DNS=127.0.0.1
REFLECTOR_PORT=$REFLECTOR_PORT
GATEWAY_CALL=$GATEWAY_CALL
GATEWAY_COMMENT=$GATEWAY_COMMENT
GATEWAY_ID=4711
GATEWAY_LAT=4807.50
GATEWAY_LON=01137.50
EOF
    start_program "gateway" "$dir/gateway.log" "reflector_listener Start" /dev/null \
        bash -c 'cd "$0" && exec "$1"' "$dir" "$gateway_bin"
    gateway_pid=$started_pid
}

radio() { printf '%s\n' "$*" >&"$radio_fd"; }
reflector() { printf '%s\n' "$*" >&"$reflector_fd"; }
local_request() { printf '%s' "$*" >/dev/udp/127.0.0.1/$LOCAL_PORT; }

show() { # file, prefix: follow a log with a prefix on every line
    tail -n +1 -F "$1" 2>/dev/null > >(sed -u "s/^/$2/") &
    viewer_pids+=($!)
}

interactive_help() {
    cat <<EOF
[demo]      Type a command (Ctrl-C or quit stops all four programs):
[demo]        radio status 2620001 80E8        status 33000 from radio 2620001 (DTMF 910# to the voice gateway)
[demo]        radio text 2620001 PC:Hello      a text from a radio for the reflector
[demo]        radio group 2620001 GC:Hello     a group text from a radio
[demo]        radio pos 2620001 41.2 23.37 45  a position report (lat lon course)
[demo]        radio lip 2620001 51.2 12.06 90  a LIP position report, as most radios send
[demo]        radio ptt 2620001 / radio pttoff a voice transmission starts / ends
[demo]        reflector msg ALPHA 1234567 Hi   a reflector text message to radio 1234567
[demo]        reflector page ALPHA 1234567 Hi  a DAPNET page to radio 1234567
[demo]        reflector pagegroup ALPHA Hi     a DAPNET page to the group
[demo]        local 1234567Hello               a local SDS request to 127.0.0.1:$LOCAL_PORT
[demo]        radio help / reflector help      each program's own commands
EOF
}

start_all
show "$dir/radio.log" "[radio]     "
show "$dir/reflector.log" "[reflector] "
show "$dir/gateway.log" "[gateway]   "
show "$dir/voice-gateway.log" "[voice gw]  "
say "running in $dir, a private /tmp (radio link $dir/radio, reflector port $REFLECTOR_PORT)"
interactive_help
while IFS= read -r -e line; do
    case $line in
    "radio "*) radio "${line#radio }" ;;
    "reflector "*) reflector "${line#reflector }" ;;
    "local "*) local_request "${line#local }" ;;
    help) interactive_help ;;
    quit | exit) break ;;
    "") ;;
    *) say "unknown command; try help" ;;
    esac
done
