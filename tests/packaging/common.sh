# shellcheck shell=sh
# Shared by the installation and packaging checks: verdicts, a scratch
# directory inside the build tree, and the keys of sdsbridge.conf.
# CTest reads exit status 77 as "skipped".

# Every key of the configuration file, in the order the daemon compares them.
CONFIG_KEYS="REFLECTOR_PORT SYS_DEBUG SYS_HARDWARE SYS_SERBAUD SYS_CTOM_WAIT SYS_SERPORT
GATEWAY_CALL GATEWAY_COMMENT GATEWAY_ID GATEWAY_LAT GATEWAY_LON DMO_REPEATER
REFLECTOR_DNS CITY ZIP COUNTRY REFLECTOR_ONLY DTMF_CTRL_PATH PTT_CTRL_PATH"

failures=0

skip() {
    echo "SKIP: $*"
    exit 77
}

fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# Ends the check: status 1 when any fail was recorded.
finish() {
    if [ "$failures" -ne 0 ]; then
        echo "$failures check(s) failed"
        exit 1
    fi
    echo "all checks passed"
    exit 0
}

# scratch_dir BUILD NAME: an empty directory BUILD/packaging-test/NAME.
scratch_dir() {
    dir="$1/packaging-test/$2"
    rm -rf "$dir"
    mkdir -p "$dir"
    echo "$dir"
}

# stage_install BUILD DESTDIR: installs the build as a system would (/usr).
stage_install() {
    DESTDIR="$2" cmake --install "$1" --prefix /usr >"$2.log" 2>&1 || {
        cat "$2.log"
        echo "FAIL: cmake --install"
        exit 1
    }
}

# sample_value FILE KEY: the value of the uncommented KEY= line(s) of FILE.
sample_value() {
    grep -v '[#[]' "$1" | sed -n "s/^$2=//p"
}
