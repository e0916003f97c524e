#!/usr/bin/env bash
# Installs what the build lacks, then builds and runs the whole test suite
# twice: a plain build, and one with AddressSanitizer and UndefinedBehaviorSanitizer.
# A third build with clang runs the unit tests, so that both compilers keep
# the code free of warnings. A fourth, with ThreadSanitizer, runs the radio
# sessions and unit tests: four threads share the gateway's globals, and a
# race fails the run. Then each fuzz target runs for FUZZ_SECONDS (30 s).
# Last, the builds for the station's ARM boards (arm64, armhf): unit tests,
# every radio session and the packaging checks under qemu-user, and the package.
set -euo pipefail
cd "$(dirname "$0")"
./scripts/install-deps.sh
jobs=$(nproc)
# run_suite DIR "CTEST SELECTION" CMAKE-ARGS...
run_suite() {
    local dir=$1 select=$2; shift 2
    cmake -S . -B "$dir" -DSDSBRIDGE_WERROR=ON "$@" >/dev/null
    cmake --build "$dir" -j "$jobs"
    # shellcheck disable=SC2086 # the selection is a list of ctest options
    (cd "$dir" && ctest --output-on-failure -j "$jobs" $select)
}
run_suite build "" -DCMAKE_BUILD_TYPE=RelWithDebInfo
# The load test measures time: only the plain build runs it.
run_suite build-asan "-LE load" -DCMAKE_BUILD_TYPE=Debug -DSDSBRIDGE_SANITIZE=ON
run_suite build-clang "-L unit" -DCMAKE_BUILD_TYPE=Debug -DCMAKE_CXX_COMPILER=clang++
run_suite build-tsan "-L session|unit" -DCMAKE_BUILD_TYPE=Debug -DSDSBRIDGE_SANITIZE=thread
./scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
./scripts/cross.sh arm64
./scripts/cross.sh armhf
