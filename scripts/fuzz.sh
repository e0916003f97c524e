#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang (in build-fuzz/, or
# $SDSBRIDGE_FUZZ_BUILD) and runs each for SECONDS (default 30), starting from
# a copy of its seed corpus tests/fuzz/corpus/<name>/, so a run never writes
# into the tree. Fails when a target crashes, leaks, times out or breaks one
# of its checks; the input that did it is kept in <build>/artifacts/.
# Usage: scripts/fuzz.sh [SECONDS] [NAME...]   (NAME: dispatch, hex, ...; default all)
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-30}
shift || true
build=${SDSBRIDGE_FUZZ_BUILD:-build-fuzz}
cmake -S . -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DSDSBRIDGE_FUZZ=ON -DBUILD_TESTING=OFF -DSDSBRIDGE_WERROR=ON >/dev/null
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
failed=()
for name in "${names[@]}"; do
    target=$build/tests/fuzz/fuzz_$name
    [ -x "$target" ] || { echo "no fuzz target $name"; failed+=("$name"); continue; }
    cp -r "tests/fuzz/corpus/$name" "$scratch/$name"
    mkdir -p "$scratch/tmp-$name"
    # A run ends after the time; -timeout: one input may take 10 s at most.
    if TMPDIR=$scratch/tmp-$name "$target" -max_total_time="$seconds" -timeout=10 \
        -artifact_prefix="$artifacts/$name-" "$scratch/$name" >"$scratch/$name.log" 2>&1; then
        summary=$(grep -E '^Done [0-9]+ runs' "$scratch/$name.log" || true)
        echo "fuzz $name: ${summary:-done}, corpus $(ls "$scratch/$name" | wc -l) inputs"
    else
        echo "fuzz $name: FAILED"
        tail -n 60 "$scratch/$name.log"
        failed+=("$name")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "fuzz targets failed: ${failed[*]} (inputs in $artifacts/)"
    exit 1
fi
