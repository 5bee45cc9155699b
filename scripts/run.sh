#!/usr/bin/env bash
# Set up, build, make the sample database (kept if one is there) and start the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset release
cmake --build --preset release -j"$(nproc)"
exec build/bin/zelkano
