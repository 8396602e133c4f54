#!/usr/bin/env bash
# Builds the Debian package ovela_<version>-1_<architecture>.deb with CPack from a build folder
# (build/ unless another is given; configured and built first when needed) and prints its path
# on standard output. Its library dependencies come from the binaries (dpkg-shlibdeps). Install it
# with: sudo apt-get install ./build/package/ovela_2.5-1_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
scripts/deps.sh >&2
if [ ! -f "$build/CMakeCache.txt" ]; then
  cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >&2
fi
cmake --build "$build" -j "${OVELA_JOBS:-$(nproc)}" >&2
out=$build/package
rm -rf "$out"
if ! cpack --config "$build/CPackConfig.cmake" -B "$out" >"$build/cpack.log" 2>&1; then
  cat "$build/cpack.log" >&2
  exit 1
fi
realpath "$out"/ovela_*.deb
