#!/usr/bin/env bash
# Configures and builds OVELA into build/ (the folder both run.sh and test.sh use).
#   scripts/build.sh [cmake arguments]            everything: program, engines, server, tools,
#                                                 tests and benchmarks
#   scripts/build.sh --program [cmake arguments]  only what scripts/run.sh runs: the program, the
#                                                 engines, the directory server and the demo
# Extra arguments are passed to CMake's configure step. OVELA_JOBS sets the parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${OVELA_JOBS:-$(nproc)}
if [ "${1:-}" = "--program" ]; then
  shift
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_BUILD_TESTS=OFF \
    -DOVELA_BENCH=OFF "$@" >/dev/null
  cmake --build build -j "$jobs" --target ovela ovela-directory ovela-demo
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_BUILD_TESTS=ON \
    -DOVELA_BENCH=ON "$@" >/dev/null
  cmake --build build -j "$jobs"
fi
