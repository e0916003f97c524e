#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (in build-fuzz/, or
# $SDSBRIDGE_FUZZ_BUILD) and runs each for SECONDS (default 30), starting from
# a copy of its seed corpus tests/fuzz/corpus/<name>/, so a run never writes
# into the tree. Fails when a target crashes, leaks, times out or breaks one
# of its checks; the input that did it is kept in <build>/artifacts/.
# Targets run side by side, one per core (FUZZ_JOBS changes that): each is
# one process that keeps one core busy.
# A build directory already configured with SDSBRIDGE_FUZZ=ON (the suite's
# clang sanitizer build) is used as it is configured.
# Usage: scripts/fuzz.sh [SECONDS] [NAME...]   (NAME: dispatch, hex, ...; default all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=${SDSBRIDGE_FUZZ_BUILD:-build-fuzz}
if ! grep -qx 'SDSBRIDGE_FUZZ:BOOL=ON' "$build/CMakeCache.txt" 2>/dev/null; then
    cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
        -DSDSBRIDGE_FUZZ=ON -DBUILD_TESTING=OFF -DSDSBRIDGE_WERROR=ON >/dev/null
fi
cmake --build "$build" -j "$(nproc)" --target fuzz

names=("$@")
if [ ${#names[@]} -eq 0 ]; then
    for dir in tests/fuzz/corpus/*/; do
        names+=("$(basename "$dir")")
    done
fi
artifacts=$build/artifacts
mkdir -p "$artifacts"
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export UBSAN_OPTIONS=print_stacktrace=1

# fuzz_one NAME: runs one target; its verdict goes to $scratch/NAME.verdict.
fuzz_one() {
    local name=$1 target=$build/tests/fuzz/fuzz_$1
    if [ ! -x "$target" ]; then
        echo "no fuzz target $name" >"$scratch/$name.verdict"
        return
    fi
    cp -r "tests/fuzz/corpus/$name" "$scratch/$name"
    mkdir -p "$scratch/tmp-$name"
    # A run ends after the time; -timeout: one input may take 10 s at most.
    if TMPDIR=$scratch/tmp-$name "$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$artifacts/$name-" "$scratch/$name" >"$scratch/$name.log" 2>&1; then
        summary=$(grep -E '^Done [0-9]+ runs' "$scratch/$name.log" || true)
        echo "fuzz $name: ${summary:-done}, corpus $(ls "$scratch/$name" | wc -l) inputs" >"$scratch/$name.verdict"
    else
        { echo "fuzz $name: FAILED"; tail -n 60 "$scratch/$name.log"; } >"$scratch/$name.verdict"
    fi
}

slots=${FUZZ_JOBS:-$(nproc)}
running=0
for name in "${names[@]}"; do
    if [ "$running" -ge "$slots" ]; then
        wait -n
        running=$((running - 1))
    fi
    fuzz_one "$name" &
    running=$((running + 1))
done
wait

failed=()
for name in "${names[@]}"; do
    cat "$scratch/$name.verdict"
    head -n 1 "$scratch/$name.verdict" | grep -Eq '^fuzz .*: (Done|done)' || failed+=("$name")
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets failed: ${failed[*]} (inputs in $artifacts/)"
    exit 1
fi
