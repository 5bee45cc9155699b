#!/usr/bin/env bash
# Set up, build, make the sample database (kept if one is there) and start the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DZELKANO_BUILD_TESTS=OFF -DZELKANO_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
exec build/bin/zelkano
