#!/usr/bin/env bash
# Lists every include in src/ that runs up the layers, or sideways between
# radio and control, and fails if there is one.
# The layers, bottom first: util, config, formats (the radio's payload
# layouts), radio and control, net, events, process (the top of the program:
# threads, beacon loop, signals), then main. radio (the PEI) and control (the
# voice gateway's files) share a layer and know nothing of each other: what
# joins them is the events above.
set -euo pipefail
cd "$(dirname "$0")/../src"
rank() {
    case $1 in
        global.h | util) echo 0 ;;
        config | build_defaults.h) echo 1 ;;
        formats) echo 2 ;;
        radio | control) echo 3 ;;
        net) echo 4 ;;
        events) echo 5 ;;
        process) echo 6 ;;
        *) echo 7 ;;
    esac
}
up=0
while IFS=: read -r file _ include; do
    from=${file%%/*}
    to=$(sed -E 's/.*#include "([^"/]*)(\/.*)?".*/\1/' <<<"$include")
    if (($(rank "$to") > $(rank "$from"))); then
        echo "$file includes ${include#*#include } from a layer above it"
        up=1
    elif [[ $from:$to == radio:control || $from:$to == control:radio ]]; then
        echo "$file includes ${include#*#include } from beside it in its layer"
        up=1
    fi
done < <(grep -rn '^#include "' --include='*.cpp' --include='*.h' .  | sed 's#^\./##')
exit $up
