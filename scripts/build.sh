#!/usr/bin/env bash
# Configures and builds OVELA into build/ (the folder both run.sh and test.sh use).
#   scripts/build.sh [cmake arguments]
#       everything: the program, the engines, the server, the tools, the tests and benchmarks
#   scripts/build.sh --program [more targets] [cmake arguments]
#       only the program and its two engines (and the targets named, such as ovela-demo or
#       ovela-directory), configured without tests and benchmarks: what scripts/run.sh runs
# Arguments that start with "-" go to CMake's configure step. OVELA_JOBS sets the parallel jobs.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=${OVELA_JOBS:-$(nproc)}
if [ "${1:-}" = "--program" ]; then
  shift
  targets=(ovela RXVLIB11 QVNAUD20)
  options=()
  for arg in "$@"; do
    case $arg in -*) options+=("$arg") ;; *) targets+=("$arg") ;; esac
  done
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_BUILD_TESTS=OFF \
    -DOVELA_BENCH=OFF "${options[@]}" >/dev/null
  cmake --build build -j "$jobs" --target "${targets[@]}"
else
  cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_BUILD_TESTS=ON \
    -DOVELA_BENCH=ON "$@" >/dev/null
  cmake --build build -j "$jobs"
fi
