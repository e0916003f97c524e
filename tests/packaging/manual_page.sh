#!/bin/sh
# Renders the manual page with every groff warning enabled, and checks that it
# documents every configuration key with the default the installed sample shows.
# Usage: manual_page.sh SOURCE_DIR BUILD_DIR
set -u
. "$(dirname "$0")/common.sh"
page="$1/docs/sdsbridge.8"
sample="$2/packaging/sdsbridge.conf"
command -v groff >/dev/null 2>&1 || skip "groff is not installed"

warnings=$(groff -ww -man -z "$page" 2>&1) || fail "groff failed"
[ -z "$warnings" ] || fail "groff warnings:
$warnings"
if command -v man >/dev/null 2>&1; then
    warnings=$(MANWIDTH=80 man --warnings -l "$page" 2>&1 >/dev/null)
    [ -z "$warnings" ] || fail "man warnings:
$warnings"
fi

# Each key is a list entry ".BR KEY = default" (or "=default" quoted).
for key in $CONFIG_KEYS; do
    entry=$(grep -E "^\.BR $key( |\$)" "$page" | head -n 1)
    [ -n "$entry" ] || { fail "$key is not documented"; continue; }
    documented=$(echo "$entry" | sed -E "s/^\.BR $key //; s/^\"=(.*)\"\$/\1/; s/^= //; s/\\\\-/-/g")
    shown=$(sample_value "$sample" "$key")
    # The reflector host is chosen at build time; the page names the usual one.
    [ "$key" = REFLECTOR_DNS ] && continue
    # The sample turns the guard on; the page gives the built-in default.
    [ "$key" = REFLECTOR_ONLY ] && continue
    [ "$documented" = "$shown" ] || fail "$key: the page says '$documented', the sample '$shown'"
done
finish
