#!/usr/bin/env bash
# Set up, build and run every test: once as it ships, once under
# AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh --tests
jobs="$(nproc)"

cmake --preset test
cmake --build --preset test -j"$jobs"
ctest --preset test -j"$jobs"

cmake --preset asan
cmake --build --preset asan -j"$jobs"
# Leak reports would be Qt's and fontconfig's one-time allocations.
ctest --preset asan -j"$jobs"
