#!/usr/bin/env bash
# Installs what the build lacks, then builds and runs the whole test suite:
#   - plain (g++, optimised and hardened as the package is): every test, the
#     load tests and the checks that judge the player and the demo script;
#   - clang with AddressSanitizer and UndefinedBehaviorSanitizer: the unit
#     tests, every radio session and the packaging checks, so both compilers
#     keep every target free of warnings; the same build holds the libFuzzer
#     targets, and each then runs for FUZZ_SECONDS (30), two at a time;
#   - g++ with ThreadSanitizer: the radio sessions and unit tests, where four
#     threads share the gateway's globals and a race fails the run;
#   - last the station's ARM boards (arm64, armhf): unit tests, every radio
#     session and the packaging checks under qemu-user, and the package, the
#     sessions played by the plain build's player.
# Every compile goes through ccache when it is there (its cache lives outside
# the tree). Sessions mostly wait on the gateway's timers, each in its own
# namespaces, so three run per core (SDSBRIDGE_TEST_JOBS changes that).
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)
export SDSBRIDGE_TEST_JOBS=${SDSBRIDGE_TEST_JOBS:-$((jobs * 3))}
if command -v ccache >/dev/null 2>&1; then
    # The base directory and no hashed working directory let a fresh clone in
    # another folder reuse what an earlier one compiled.
    export CMAKE_CXX_COMPILER_LAUNCHER=ccache CCACHE_BASEDIR=$PWD CCACHE_NOHASHDIR=true
fi
times=()
# stage NAME COMMAND...: runs a stage and notes how long it took.
stage() {
    local name=$1 started=$SECONDS
    shift
    "$@"
    times+=("$name $((SECONDS - started)) s")
}
# run_suite DIR "CTEST SELECTION" CMAKE-ARGS...
run_suite() {
    local dir=$1 select=$2
    shift 2
    cmake -S . -B "$dir" -DSDSBRIDGE_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    # shellcheck disable=SC2086 # the selection is a list of ctest options
    (cd "$dir" && ctest --output-on-failure -j "$SDSBRIDGE_TEST_JOBS" $select)
}
# The load tests measure time and run alone (RUN_SERIAL): the plain build only.
stage plain run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
stage asan+clang run_suite build-asan "-LE load|player|demo" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DSDSBRIDGE_FUZZ=ON
stage fuzz env SDSBRIDGE_FUZZ_BUILD=build-asan ./scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
stage tsan run_suite build-tsan "-L session|unit -LE player" -DCMAKE_BUILD_TYPE=Debug -DSDSBRIDGE_SANITIZE=thread
export SDSBRIDGE_HOST_PLAYER=$PWD/build/tools/sdsbridge-session
stage arm64 ./scripts/cross.sh arm64
stage armhf ./scripts/cross.sh armhf
printf 'stage %s\n' "${times[@]}"
