#!/usr/bin/env bash
# The session player fails a session in which the gateway's output holds a
# sanitizer report, also one written as the gateway stops, after the last
# expectation (as a race in the exit path would be): that is what makes the
# ThreadSanitizer run of the sessions fail on a race. A stub stands in for
# the gateway; it writes such a report to stderr when SIGINT stops it.
# Usage: sanitizer_report.sh [EMULATOR...] PLAYER. Exits 77 where the player
# cannot isolate.
set -euo pipefail
player=("$@")
# Not under /tmp: the player gives the gateway a /tmp of its own.
scratch=$(mktemp -d "$PWD/sanitizer-report.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
cat >"$scratch/gateway" <<'STUB'
#!/bin/sh
trap 'echo "WARNING: ThreadSanitizer: data race (pid=$$)" >&2; exit 66' INT
echo ready
sleep 30 &
wait
STUB
chmod +x "$scratch/gateway"
printf '%s\n' "# A gateway that reports a race as it stops." "console ready" >"$scratch/report.session"
status=0
output=$("${player[@]}" --gateway "$scratch/gateway" "$scratch/report.session") || status=$?
echo "$output"
[ "$status" -eq 77 ] && exit 77
[ "$status" -eq 1 ] || { echo "player status $status, expected 1"; exit 1; }
grep -q "the gateway's sanitizer reported: WARNING: ThreadSanitizer: data race" <<<"$output" ||
    { echo "no sanitizer failure named"; exit 1; }
