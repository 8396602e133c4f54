#!/usr/bin/env bash
# Configures and builds OVELA into build/ (the folder both run.sh and test.sh use).
# Extra arguments are passed to CMake's configure step.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${OVELA_JOBS:-$(nproc)}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_BENCH=ON "$@" >/dev/null
cmake --build build -j "$jobs"
