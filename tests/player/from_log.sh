#!/usr/bin/env bash
# --from-log turns the console log of every session in a directory (the
# demo's) into a session that passes: each is played with its log saved, the
# log converted, and the conversions played against the same gateway. The
# radio text's conversion must hold what was inferred, or the pass says
# nothing. Usage: from_log.sh PLAYER GATEWAY SESSION_DIR. Exits 77 where the
# player cannot isolate. Timeouts are generous: CI runs it under ThreadSanitizer.
set -uo pipefail
player=$1 gateway=$2 sessions=$3
scratch=$(mktemp -d "$PWD/from-log.XXXXXX")
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/logs" "$scratch/made"
"$player" --gateway "$gateway" --timeout 20 --save-log "$scratch/logs" "$sessions"/*.session
status=$?
[ "$status" -eq 0 ] || exit "$status"
for log in "$scratch"/logs/*.log; do
    "$player" --from-log "$log" -o "$scratch/made/$(basename "$log" .log).session" || exit 1
done
show() { for f in "$scratch"/made/*.session; do echo "=== $f"; cat "$f"; done; }
made=$scratch/made/07-radio-text.session
for line in 'only-named' 'radio 8204100150433A48656C6C6F207265666C6563746F72' 'console data (03/0): OK\r' \
    'radio +CMGS: 0,4,16' 'datagram ::DEMO-GW;2620001;PC:Hello reflector;\n'; do
    grep -qxF "$line" "$made" || { show; echo "$made lacks: $line"; exit 1; }
done
grep -qxF 'after 2s file /tmp/dtmf_ctrl 910#' "$scratch/made/05-status-key.session" || { show; exit 1; }
"$player" --gateway "$gateway" --timeout 20 "$scratch"/made/*.session || { show; exit 1; }
