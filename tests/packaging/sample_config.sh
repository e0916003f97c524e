#!/bin/sh
# The installed sample configuration, copied unchanged into a working
# directory, is read by the daemon with every key echoed as KEY=value, and the
# daemon, in a namespace of its own, stops on SIGINT with status 0.
# Usage: sample_config.sh BUILD_DIR [EMULATOR...]: a cross build's program
# runs under the emulator.
set -u
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)
shift

work=$(scratch_dir "$build" sample-config)
stage_install "$build" "$work/stage"
mkdir "$work/run"
cp "$work/stage/usr/share/sdsbridge/sdsbridge.conf" "$work/run/sdsbridge.conf"
conf="$work/run/sdsbridge.conf"

# The sample holds every key once, uncommented, and nothing else.
for key in $CONFIG_KEYS; do
    n=$(grep -v '[#[]' "$conf" | grep -c "^$key=")
    [ "$n" -eq 1 ] || fail "the sample has $n uncommented lines for $key"
done
stray=$(grep -v '[#[]' "$conf" | grep -v '^$' | grep -Ev "^($(echo $CONFIG_KEYS | tr ' ' '|'))=")
[ -z "$stray" ] || fail "the sample has lines that are neither keys nor comments: $stray"

cd "$work/run" || exit 1
# The daemon gets a network and mount namespace with a private /tmp: on a
# station's computer it must not bind the real ports nor write the voice
# gateway's control files.
userns=""
[ "$(id -u)" -eq 0 ] || userns=-r
unshare $userns -n -m true 2>/dev/null || skip "no private network and /tmp for the daemon (unshare)"
unshare $userns -n -m --propagation private sh -c 'mount -t tmpfs tmpfs /tmp && exec "$@"' sh \
    "$@" "$work/stage/usr/bin/sdsbridge" >console.txt 2>&1 &
pid=$!
# Reading the file and resolving the reflector come before any thread starts.
i=0
while [ $i -lt 100 ] && ! grep -q -e '^REFLECTOR_IP:' -e '^EXIT sdsbridge' console.txt; do
    sleep 0.1
    i=$((i + 1))
done
kill -INT $pid 2>/dev/null
i=0
while [ $i -lt 50 ] && kill -0 $pid 2>/dev/null; do
    sleep 0.1
    i=$((i + 1))
done
if kill -0 $pid 2>/dev/null; then
    kill -KILL $pid
    fail "the daemon did not stop within 5 s of SIGINT"
fi
wait $pid
status=$?
[ $status -eq 0 ] || fail "exit status $status after SIGINT"

for key in $CONFIG_KEYS; do
    line="$key=$(sample_value "$conf" "$key")"
    grep -qxF "$line" console.txt || fail "not echoed: $line"
done
grep -q '^REFLECTOR_IP:' console.txt || fail "the sample's reflector host did not resolve"
[ $failures -eq 0 ] || head -c 4000 console.txt
finish
