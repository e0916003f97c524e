#!/usr/bin/env bash
# A session recorded with the radio simulator standing in for the real port
# replays against the same gateway and passes, and fails against a gateway set
# up for another radio model. Usage: record_replay.sh GATEWAY PLAYER RADIO_SIM.
# In its own network and mount namespace with a private /tmp; 77 without.
set -euo pipefail
gateway=$(realpath "$1") player=$(realpath "$2") sim=$(realpath "$3")
if [ -z "${RECORD_REPLAY_ISOLATED:-}" ]; then
    as_root=(-r) && [ "$(id -u)" -ne 0 ] || as_root=()
    unshare "${as_root[@]}" -n -m true 2>/dev/null || { echo "skipped: no private namespaces"; exit 77; }
    RECORD_REPLAY_ISOLATED=1 exec unshare "${as_root[@]}" -n -m "$0" "$@"
fi
mount -t tmpfs tmpfs /tmp
ip link set lo up 2>/dev/null || true
cd /tmp
trap 'kill $(jobs -p) 2>/dev/null || true' EXIT
# Waits up to 60 s (a loaded machine, a sanitizer build) for a line in a file.
wait_for() {
    for _ in $(seq 600); do grep -qF -- "$2" "$1" 2>/dev/null && return 0; sleep 0.1; done
    echo "no \"$2\" in $1:"; cat "$1"; exit 1
}

mkfifo sim.ctl
"$sim" --link /tmp/simradio 0<>sim.ctl >sim.log 2>&1 &
wait_for sim.log PTY
mkdir gw && printf '%s\n' "# the station" SYS_HARDWARE=MTM800e DMO_REPEATER=NO GATEWAY_CALL=REC-GW REFLECTOR_DNS=127.0.0.1 \
    WEATHER_API_KEY=0123456789abcdef0123456789abcdef >gw/sdsbridge.conf
"$player" --record /tmp/simradio -o recorded.session --config gw/sdsbridge.conf --link /tmp/gwradio >rec.log &
recorder=$!
wait_for rec.log SYS_SERPORT=/tmp/gwradio
echo SYS_SERPORT=/tmp/gwradio >>gw/sdsbridge.conf
(cd gw && exec "$gateway" >../gw.log 2>&1) &
gw=$!
wait_for recorded.session 'sent AT+CTOM=1\r'
echo "text 2620011 hello" >sim.ctl
wait_for recorded.session '+CMGS: 0,4,' # the radio confirms the acknowledgement went out
echo "status 2620011 8001" >sim.ctl
wait_for gw.log 'got status -> 32769'
wait_for recorded.session 'file /tmp/dtmf_ctrl HELlo' # the text's forward to the voice gateway
kill -INT "$gw" && wait "$gw" || true
kill -INT "$recorder" && wait "$recorder"
cat recorded.session
"$player" --gateway "$gateway" recorded.session || exit $?
# A gateway set up for another radio model initialises it otherwise.
{ cat recorded.session; echo "config SYS_HARDWARE=MTM5400"; } >other.session
status=0 && "$player" --gateway "$gateway" other.session || status=$?
[ "$status" -eq 1 ] || { echo "the replay against another model ended with status $status, not 1"; exit 1; }
