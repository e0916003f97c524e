#!/bin/sh
# The installed sample configuration, copied unchanged into a working
# directory, checks clean with --check-config, is read by the daemon with every
# key echoed as KEY=value, and the daemon, in a namespace of its own, stops on
# SIGINT with status 0.
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
# gateway's control files. A private /etc/hosts resolves the sample's
# reflector host to this machine, so that no run depends on the network.
userns=""
[ "$(id -u)" -eq 0 ] || userns=-r
printf '127.0.0.1 localhost\n127.0.0.1 %s\n' "$(sample_value "$conf" REFLECTOR_DNS)" >"$work/hosts"
export HOSTS="$work/hosts"
private="unshare $userns -n -m --propagation private sh -c"
setup='mount --bind "$HOSTS" /etc/hosts && mount -t tmpfs tmpfs /tmp && exec "$@"'
$private "$setup" sh true 2>/dev/null || skip "no private network, /tmp and /etc/hosts for the daemon (unshare)"

# The check finds nothing in the sample, and shows the address it resolved.
$private "$setup" sh "$@" "$work/stage/usr/bin/sdsbridge" --check-config >check.txt 2>&1
status=$?
[ $status -eq 0 ] || fail "--check-config of the sample: status $status"
grep -q '^REFLECTOR_IP:' check.txt || fail "--check-config did not resolve the sample's reflector host"

$private "$setup" sh "$@" "$work/stage/usr/bin/sdsbridge" >console.txt 2>&1 &
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
[ $failures -eq 0 ] || head -c 4000 check.txt console.txt
finish
