#!/bin/sh
# Installs the build into a staging directory with DESTDIR and checks the tree:
# exactly the expected files, the unit naming the installed program and keeping
# the settings the gateway depends on, the compressed manual page.
# Usage: install_tree.sh BUILD_DIR SOURCE_DIR PROGRAM...
set -u
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd); source=$(cd "$2" && pwd); shift 2
programs="$*"

stage=$(scratch_dir "$build" install-tree)/stage
stage_install "$build" "$stage"

expected=$(
    for p in $programs; do echo "usr/bin/$p"; done
    echo usr/lib/systemd/system/sdsbridge.service
    echo usr/share/man/man8/sdsbridge.8.gz
    echo usr/share/sdsbridge/sdsbridge.conf
    echo usr/share/doc/sdsbridge/copyright
    echo usr/share/doc/sdsbridge/changelog.gz
    echo usr/share/doc/sdsbridge/examples/voice-gateway-account.conf
    echo usr/share/doc/sdsbridge/examples/control-paths.conf
    echo usr/lib/modules-load.d/sdsbridge.conf
)
actual=$(cd "$stage" && find . -type f -o -type l | sed 's|^\./||' | sort)
expected=$(echo "$expected" | sort)
[ "$actual" = "$expected" ] || fail "installed files differ:
--- expected
$expected
--- installed
$actual"

for p in $programs; do
    [ -x "$stage/usr/bin/$p" ] || fail "usr/bin/$p is not executable"
done

unit="$stage/usr/lib/systemd/system/sdsbridge.service"
if [ -f "$unit" ]; then
    setting() { sed -n "s/^$1=//p" "$unit"; }
    [ "$(setting ExecStart)" = /usr/bin/sdsbridge ] ||
        fail "ExecStart is '$(setting ExecStart)', not the installed /usr/bin/sdsbridge in the foreground"
    # The gateway only logs SIGTERM; any other stop signal leaves it running
    # until systemd kills it.
    [ "$(setting KillSignal)" = SIGINT ] || fail "KillSignal is not SIGINT"
    # The voice gateway reads the control files in the real /tmp.
    grep -Eq '^(PrivateTmp|DynamicUser)=(yes|true|on|1)' "$unit" && fail "the unit hides /tmp from the voice gateway"
    setting ReadWritePaths | grep -qw /tmp || fail "/tmp is not writable under ProtectSystem"
    [ "$(setting WorkingDirectory)" = "/var/lib/$(setting StateDirectory)" ] ||
        fail "WorkingDirectory is not the state directory"
    [ -n "$(setting User)" ] && [ "$(setting User)" != root ] || fail "the gateway runs as root"
    setting SupplementaryGroups | grep -qw dialout || fail "no group dialout for the serial device"
fi

man="$stage/usr/share/man/man8/sdsbridge.8.gz"
if [ -f "$man" ]; then
    gzip -dc "$man" | cmp -s - "$source/docs/sdsbridge.8" || fail "the installed manual page is not docs/sdsbridge.8"
fi

finish
