#!/usr/bin/env bash
# Installs what OVELA needs to run, builds the program, the engines, the directory server and the
# demo (nothing else: the tests and benchmarks are scripts/test.sh's), and starts it. Arguments go
# to ovela (one optional address to call at start-up). On a desktop without a directory server of
# its own, a local one runs beside the program, so the directory lists the user from the start.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh run
scripts/build.sh --program
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "This machine has no display, so instead of opening OVELA's windows this runs a whole call"
  echo "between two OVELA programs here, with scripted cameras, microphones and speakers."
  echo "(On a desktop, scripts/run.sh starts the program; xvfb-run -a build/bin/ovela also works.)"
  echo
  exec build/bin/ovela-demo "$@"
fi
directory_running() {
  (exec 3<>/dev/tcp/127.0.0.1/2010) 2>/dev/null
}
if ! directory_running; then
  build/bin/ovela-directory >/dev/null &
  server=$!
  trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null || true' EXIT
fi
build/bin/ovela "$@"

