#!/usr/bin/env bash
# The gateway on one machine: a simulated radio on a pseudo-terminal, the
# reflector tool on loopback, and sdsbridge between them. Interactive by
# default; --check plays a fixed script and prints PASS or FAIL.
# Usage: scripts/demo.sh [--check] [--build-dir DIR] [--keep] [--radio MODEL]
set -uo pipefail

repo=$(cd "$(dirname "$0")/.." && pwd)
build=${SDSBRIDGE_BUILD_DIR:-$repo/build}
mode=interactive
keep=0
radio_model=MTM800e
check_timeout=${DEMO_CHECK_TIMEOUT:-12}

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
for bin in "$gateway_bin" "$radio_bin" "$reflector_bin"; do
    if [ ! -x "$bin" ]; then
        echo "demo: $bin is missing; build first (./run-demo.sh builds everything)" >&2
        exit 2
    fi
done

GATEWAY_CALL=DEMO-GW
GATEWAY_COMMENT="Demo gateway"
LOCAL_PORT=54001
DTMF_CTRL=/tmp/dtmf_ctrl
PTT=/tmp/ptt

dir=$(mktemp -d /tmp/sdsbridge-demo.XXXXXX)
radio_pid="" reflector_pid="" gateway_pid="" viewer_pids=() radio_fd="" reflector_fd=""

say() { printf '[demo]      %s\n' "$*"; }

# --- starting and stopping ------------------------------------------------

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
    stop_pid "$radio_pid" 3
    stop_pid "$reflector_pid" 3
    sleep 0.3 # let the viewers show the last lines
    for pid in "${viewer_pids[@]}"; do kill "$pid" 2>/dev/null; done
    if [ "$keep" = 1 ]; then
        say "logs kept in $dir"
    else
        rm -rf "$dir"
    fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# Waits until file contains text (fixed string); 1 after timeout seconds.
wait_for() {
    local file=$1 text=$2 tries=$(($3 * 10))
    while [ $tries -gt 0 ]; do
        grep -qF -- "$text" "$file" 2>/dev/null && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}

start_radio() {
    mkfifo "$dir/radio.in"
    exec {radio_fd}<>"$dir/radio.in"
    "$radio_bin" --link "$dir/radio" <"$dir/radio.in" >"$dir/radio.log" 2>&1 &
    radio_pid=$!
    if ! wait_for "$dir/radio.log" "PTY " 5 || [ ! -e "$dir/radio" ]; then
        say "the radio simulator did not start:"
        cat "$dir/radio.log"
        exit 1
    fi
}

# Starts the reflector tool on the first free port from 5220 on.
start_reflector() {
    mkfifo "$dir/reflector.in"
    exec {reflector_fd}<>"$dir/reflector.in"
    for reflector_port in $(seq 5220 5239); do
        "$reflector_bin" --port "$reflector_port" --gateway 127.0.0.1:5230 \
            <"$dir/reflector.in" >"$dir/reflector.log" 2>&1 &
        reflector_pid=$!
        wait_for "$dir/reflector.log" "reflector listening" 2 && return 0
        stop_pid "$reflector_pid" 0
    done
    say "the reflector tool found no free port:"
    cat "$dir/reflector.log"
    exit 1
}

start_gateway() {
    cat >"$dir/sdsbridge.conf" <<EOF
SYS_HARDWARE=$radio_model
SYS_SERPORT=$dir/radio
SYS_SERBAUD=9600
SYS_CTOM_WAIT=1
DMO_REPEATER=NO
REFLECTOR_DNS=127.0.0.1
REFLECTOR_PORT=$reflector_port
GATEWAY_CALL=$GATEWAY_CALL
GATEWAY_COMMENT=$GATEWAY_COMMENT
GATEWAY_ID=4711
GATEWAY_LAT=4807.50
GATEWAY_LON=01137.50
EOF
    (cd "$dir" && exec "$gateway_bin") </dev/null >"$dir/gateway.log" 2>&1 &
    gateway_pid=$!
    sleep 0.5
    if ! kill -0 "$gateway_pid" 2>/dev/null; then
        say "the gateway did not start:"
        cat "$dir/gateway.log"
        exit 1
    fi
}

start_all() {
    start_radio
    start_reflector
    start_gateway
}

radio() { printf '%s\n' "$*" >&"$radio_fd"; }
reflector() { printf '%s\n' "$*" >&"$reflector_fd"; }
local_request() { printf '%s' "$*" >/dev/udp/127.0.0.1/$LOCAL_PORT; }

# --- interactive form -----------------------------------------------------

show() { # file, prefix: follow a log with a prefix on every line
    tail -n +1 -F "$1" 2>/dev/null > >(sed -u "s/^/$2/") &
    viewer_pids+=($!)
}

show_control_files() { # prints the voice gateway's files whenever they change
    (
        last=""
        while sleep 0.3; do
            now=""
            for f in "$DTMF_CTRL" "$PTT"; do
                [ -e "$f" ] && now+="$f=$(date -r "$f" +%s%N):$(cat "$f" 2>/dev/null)|"
            done
            if [ "$now" != "$last" ] && [ -n "$last" ]; then
                for f in "$DTMF_CTRL" "$PTT"; do
                    [ -e "$f" ] && printf '[control]   %s: %s\n' "$f" "$(cat "$f" 2>/dev/null)"
                done
            fi
            last=$now
        done
    ) &
    viewer_pids+=($!)
}

interactive_help() {
    cat <<EOF
[demo]      Type a command (Ctrl-C or quit stops all three programs):
[demo]        radio status 2620001 80E8        status 33000 from radio 2620001 (DTMF 910#)
[demo]        radio text 2620001 PC:Hello      a text from a radio for the reflector
[demo]        radio group 2620001 GC:Hello     a group text from a radio
[demo]        radio pos 2620001 41.2 23.37 45  a position report (lat lon course)
[demo]        radio ptt 2620001 / radio pttoff a voice transmission starts / ends
[demo]        reflector msg ALPHA 1234567 Hi   a reflector text message to radio 1234567
[demo]        reflector page ALPHA 1234567 Hi  a DAPNET page to radio 1234567
[demo]        reflector pagegroup ALPHA Hi     a DAPNET page to the group
[demo]        local 1234567Hello               a local SDS request to 127.0.0.1:$LOCAL_PORT
[demo]        radio help / reflector help      each program's own commands
EOF
}

run_interactive() {
    start_all
    show "$dir/radio.log" "[radio]     "
    show "$dir/reflector.log" "[reflector] "
    show "$dir/gateway.log" "[gateway]   "
    show_control_files
    sleep 0.5
    say "running in $dir (radio link $dir/radio, reflector port $reflector_port)"
    interactive_help
    local line
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
}

# --- check form -----------------------------------------------------------

hex() { printf '%s' "$1" | od -An -tx1 -v | tr -d ' \n' | tr a-f A-F; }
size_of() { wc -c <"$1" 2>/dev/null || echo 0; }
# Waits until file, from byte offset on, contains text; 1 after timeout.
wait_since() {
    local file=$1 offset=$2 text=$3 tries=$(($4 * 10))
    while [ $tries -gt 0 ]; do
        tail -c +$((offset + 1)) "$file" 2>/dev/null | grep -qF -- "$text" && return 0
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}
# Waits until a control file was written after stamp and holds exactly text.
wait_file() {
    local file=$1 stamp=$2 text=$3 tries=$(($4 * 10))
    while [ $tries -gt 0 ]; do
        if [ -e "$file" ] && [ "$(date -r "$file" +%s%N)" -gt "$stamp" ] && [ "$(cat "$file")" = "$text" ]; then
            return 0
        fi
        sleep 0.1
        tries=$((tries - 1))
    done
    return 1
}
now_ns() { date +%s%N; }
note() { printf '        %s\n' "$*"; }

# An SDS that the gateway put on the radio line: its AT+CMGS and its text.
expect_sds() { # offset, AT+CMGS target, text
    wait_since "$dir/radio.log" "$1" "AT+CMGS=$2," "$check_timeout" &&
        wait_since "$dir/radio.log" "$1" "01$(hex "$3")" "$check_timeout"
}

check_keepalive() {
    wait_since "$dir/reflector.log" 0 "recv keepalive" 15 &&
        wait_since "$dir/reflector.log" 0 ">>$GATEWAY_CALL" 1
}

check_reflector_text() {
    local at
    at=$(size_of "$dir/radio.log")
    reflector "msg ALPHA 1234567 Hello radio"
    expect_sds "$at" 1234567 $'MERIDIAN-LINK:PC:\rALPHA:Hello radio'
}

check_group_page() {
    local at
    at=$(size_of "$dir/radio.log")
    reflector "pagegroup ALPHA Hello group"
    expect_sds "$at" 1 $'DAPNET ALPHA:\rHello group'
}

check_local_request() {
    local at
    at=$(size_of "$dir/radio.log")
    local_request "1234567Local hello"
    expect_sds "$at" 1234567 "Local hello"
}

check_status() {
    local stamp
    stamp=$(now_ns)
    radio "status 2620001 80E8"
    wait_file "$DTMF_CTRL" "$stamp" "910#" "$check_timeout"
}

check_roaming() {
    local at_radio at_reflector
    at_radio=$(size_of "$dir/radio.log")
    at_reflector=$(size_of "$dir/reflector.log")
    radio "status 2620001 EE4D"
    wait_since "$dir/reflector.log" "$at_reflector" "::$GATEWAY_CALL;2620001;RO" "$check_timeout" &&
        expect_sds "$at_radio" 2620001 $'MERIDIAN-LINK\r'"$GATEWAY_CALL"$'\r'"$GATEWAY_COMMENT"
}

check_radio_text() {
    local at
    at=$(size_of "$dir/reflector.log")
    radio "text 2620001 PC:Hello reflector"
    wait_since "$dir/reflector.log" "$at" "::$GATEWAY_CALL;2620001;PC:Hello reflector;" "$check_timeout"
}

check_group_text() {
    local at
    at=$(size_of "$dir/reflector.log")
    radio "group 2620001 GC:Hello all"
    wait_since "$dir/reflector.log" "$at" ",GC,#0,2620001,,GC:Hello all," "$check_timeout"
}

check_position() {
    local at
    at=$(size_of "$dir/reflector.log")
    radio "pos 2620001 41.2 23.37 45"
    wait_since "$dir/reflector.log" "$at" ",GPS,#232,2620001,,E;02322.20;N;4112.00;045.0;," "$check_timeout"
}

check_voice() {
    local at stamp
    at=$(size_of "$dir/reflector.log")
    stamp=$(now_ns)
    radio "ptt 2620001"
    wait_file "$PTT" "$stamp" "O" "$check_timeout" &&
        wait_since "$dir/reflector.log" "$at" ",VOICE,#232,2620001,,," "$check_timeout" || return 1
    stamp=$(now_ns)
    radio "pttoff"
    wait_file "$PTT" "$stamp" "Z" "$check_timeout"
}

# The checks, in the order they are played. The second field says whether the
# check must pass (1) or is reported only (0): set it to 1 once the gateway
# handles that flow.
checks=(
    "check_keepalive       1 keepalives reach the reflector"
    "check_reflector_text  1 reflector text message goes out as a personal SDS"
    "check_group_page      1 DAPNET group page goes out as a group SDS"
    "check_local_request   1 local SDS request goes out as a personal SDS"
    "check_status          1 status 80E8 from a radio writes 910# to $DTMF_CTRL"
    "check_roaming         1 roaming status reaches the reflector and is answered by SDS"
    "check_radio_text      1 PC: text from a radio reaches the reflector"
    "check_group_text      1 GC: group text from a radio reaches the reflector"
    "check_position        1 position from a radio reaches the reflector as a GPS report"
    "check_voice           1 voice transmission writes O and Z to $PTT and a voice report"
)

run_check() {
    start_all
    # The radio is initialised before the gateway listens to it.
    wait_for "$dir/gateway.log" "reflector_listener Start" 10
    sleep 4
    local results=() failed_required=0 entry fn required text
    for entry in "${checks[@]}"; do
        read -r fn required text <<<"$entry"
        say "checking: $text"
        if "$fn"; then
            results+=("PASS  $text")
        elif [ "$required" = 1 ]; then
            results+=("FAIL  $text")
            failed_required=1
        else
            results+=("----  $text (not required yet)")
        fi
    done

    echo
    echo "What reached the reflector (keepalives left out):"
    grep -v "recv keepalive" "$dir/reflector.log" | grep "^recv" | sed 's/^/    /'
    echo "$DTMF_CTRL: $(cat "$DTMF_CTRL" 2>/dev/null || echo '(none)')"
    echo "$PTT: $(cat "$PTT" 2>/dev/null || echo '(none)')"
    echo
    echo "Demo check summary:"
    printf '  %s\n' "${results[@]}"
    if [ $failed_required = 1 ]; then
        keep=1
        echo "FAIL (logs in $dir: gateway.log, radio.log, reflector.log)"
        return 1
    fi
    echo "PASS"
    return 0
}

if [ "$mode" = check ]; then
    run_check
    exit $?
fi
run_interactive
