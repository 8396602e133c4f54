#!/usr/bin/env bash
# Installs what OVELA needs, builds it with warnings as errors and runs every test, builds and
# checks the Debian package, then runs each fuzz target for a short fixed time when clang is
# present.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh -DOVELA_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600

# The directory server's database test once more, against a throw-away PostgreSQL server.
server/tests/with-postgres.sh ctest --test-dir build -R ServerPostgres --output-on-failure

# The Debian package, built from build/ and checked unpacked in a throw-away root.
deb=$(scripts/package.sh build)
packaging/check-package.sh "$deb"

if command -v clang++ >/dev/null 2>&1 && [ "${OVELA_SKIP_FUZZ:-0}" != 1 ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DOVELA_FUZZ=ON -DOVELA_BUILD_APP=OFF -DOVELA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j "$(nproc)"
  seconds=${OVELA_FUZZ_SECONDS:-30}
  for target in build-fuzz/bin/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    for d in fuzz/*/corpus/"$name"; do [ -d "$d" ] && seeds+=("$d"); done
    echo "== $name for ${seconds}s"
    log=build-fuzz/$name.log
    if ! "$target" -max_total_time="$seconds" -print_final_stats=1 "$corpus" "${seeds[@]}" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "$name found a problem (full output in $log)"
      exit 1
    fi
    grep -E 'stat::number_of_executed_units' "$log" || true
  done
fi
echo "All tests passed."
