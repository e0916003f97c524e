#!/bin/sh
# Lets systemd check the installed unit: syntax, every key known, the program
# executable and the manual page it names found. Any remark fails the check.
# Then its rating of the sandbox: an exposure of 1.8 at most.
# Usage: unit_verify.sh BUILD_DIR
set -u
. "$(dirname "$0")/common.sh"
build=$(cd "$1" && pwd)
command -v systemd-analyze >/dev/null 2>&1 || skip "systemd-analyze is not installed"

# Installed under a prefix of its own (no DESTDIR), so that ExecStart names a
# program that exists.
prefix=$(scratch_dir "$build" unit-verify)/usr
cmake --install "$build" --prefix "$prefix" >"$prefix.log" 2>&1 || { cat "$prefix.log"; fail "cmake --install"; finish; }

man_check=yes
command -v man >/dev/null 2>&1 || man_check=no
remarks=$(MANPATH="$prefix/share/man" systemd-analyze verify --man=$man_check \
    "$prefix/lib/systemd/system/sdsbridge.service" 2>&1)
status=$?
[ $status -eq 0 ] && [ -z "$remarks" ] || fail "systemd-analyze verify (status $status):
$remarks"

# The threshold is the exposure in tenths. The rating asks nothing of the
# running system (--offline), so it holds for the unit as shipped.
unit="$prefix/lib/systemd/system/sdsbridge.service"
if systemd-analyze --help 2>&1 | grep -q -- --offline; then
    rating=$(systemd-analyze security --offline=yes --no-pager --threshold=18 "$unit" 2>&1) ||
        fail "the sandbox is rated above 1.8:
$(echo "$rating" | grep -E '^(✗|→)')"
else
    echo "note: this systemd-analyze cannot rate a unit offline (systemd 250 or later can)"
fi
finish
