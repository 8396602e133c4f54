#!/usr/bin/env bash
# Installs what OVELA needs, builds it with warnings as errors and runs every test, holds a
# three-minute call with the soak's checks, builds and checks the Debian package, runs every test
# again built with AddressSanitizer and
# UndefinedBehaviorSanitizer, then runs each fuzz target for a short fixed time when clang is
# present.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh -DOVELA_WERROR=ON
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure -j "$(nproc)" --timeout 600

# The directory server's database test once more, against a throw-away PostgreSQL server.
server/tests/with-postgres.sh ctest --test-dir build -R ServerPostgres --output-on-failure

# Three minutes of the hour-long soak: memory, pictures per second and both logs checked.
build/bin/bench_soak 3

# The Debian package, built from build/ and checked unpacked in a throw-away root.
deb=$(scripts/package.sh build)
packaging/check-package.sh "$deb"

# Every test again, built with AddressSanitizer and UndefinedBehaviorSanitizer: a bad access,
# undefined behaviour or a leak (checked as each test program ends) fails the test that met it.
if [ "${OVELA_SKIP_SANITIZE:-0}" != 1 ]; then
  cmake -S . -B build-asan -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DOVELA_SANITIZE=ON \
    -DOVELA_WERROR=ON >/dev/null
  cmake --build build-asan -j "$(nproc)"
  # The engines are loaded by bare name; the sanitizer's own dlopen stands between the program
  # and the loader, which then no longer sees the program's RUNPATH, so the library path names
  # their folder.
  LD_LIBRARY_PATH="$PWD/build-asan/bin${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}" \
    UBSAN_OPTIONS=print_stacktrace=1 \
    ctest --test-dir build-asan --output-on-failure -j "$(nproc)" --timeout 900
fi

if command -v clang++ >/dev/null 2>&1 && [ "${OVELA_SKIP_FUZZ:-0}" != 1 ]; then
  cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DOVELA_FUZZ=ON -DOVELA_BUILD_APP=ON -DOVELA_BUILD_TESTS=OFF >/dev/null
  cmake --build build-fuzz -j "$(nproc)" --target fuzz_all
  # The engines' targets run longer: a picture takes a while to code.
  engine_seconds=${OVELA_FUZZ_SECONDS:-30}
  seconds=${OVELA_APP_FUZZ_SECONDS:-20}
  for target in build-fuzz/bin/fuzz_*; do
    [ -x "$target" ] || continue
    name=$(basename "$target")
    case $name in fuzz_video_* | fuzz_audio_*) time=$engine_seconds ;; *) time=$seconds ;; esac
    corpus=build-fuzz/corpus/$name
    mkdir -p "$corpus"
    seeds=()
    for d in fuzz/*/corpus/"$name"; do [ -d "$d" ] && seeds+=("$d"); done
    echo "== $name for ${time}s"
    log=build-fuzz/$name.log
    if ! "$target" -max_total_time="$time" -print_final_stats=1 \
      -artifact_prefix="$PWD/build-fuzz/" "$corpus" "${seeds[@]}" >"$log" 2>&1; then
      tail -n 60 "$log"
      echo "$name found a problem (full output in $log)"
      exit 1
    fi
    grep -E 'stat::number_of_executed_units' "$log" || true
  done
fi
echo "All tests passed."
