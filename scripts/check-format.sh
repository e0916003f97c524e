#!/usr/bin/env bash
# Fails when a C++ source differs from what clang-format makes of it
# (.clang-format at the top of the tree). Skipped (77) without clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v clang-format >/dev/null || { echo "skipped: no clang-format"; exit 77; }
find src tools tests bench \( -name '*.cpp' -o -name '*.h' \) -print0 | xargs -0 clang-format --dry-run --Werror
