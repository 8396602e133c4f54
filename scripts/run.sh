#!/usr/bin/env bash
# Installs what OVELA needs to run, builds what this machine will run (nothing else: the tests
# and benchmarks are scripts/test.sh's) and starts it. On a desktop that is the program, its
# engines and the directory server: arguments go to ovela (one optional address to call at
# start-up), and when no directory server answers here a local one runs beside the program, so
# the directory lists the user from the start. Without a display it is the demo instead: a whole
# call between two OVELA programs with scripted cameras, microphones and speakers.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  scripts/build.sh --program ovela-demo
  echo "This machine has no display, so instead of opening OVELA's windows this runs a whole call"
  echo "between two OVELA programs here, with scripted cameras, microphones and speakers."
  echo "(On a desktop, scripts/run.sh starts the program; xvfb-run -a build/bin/ovela also works.)"
  echo
  exec build/bin/ovela-demo "$@"
fi
scripts/build.sh --program ovela-directory
directory_running() {
  (exec 3<>/dev/tcp/127.0.0.1/2010) 2>/dev/null
}
if ! directory_running; then
  build/bin/ovela-directory >/dev/null &
  server=$!
  trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
fi
build/bin/ovela "$@"
