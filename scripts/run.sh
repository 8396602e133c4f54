#!/usr/bin/env bash
# Installs what OVELA needs, builds it and starts it. Arguments go to ovela
# (one optional address to call at start-up).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "This machine has no display, so instead of opening OVELA's windows this runs a whole call"
  echo "between two OVELA programs here, with scripted cameras, microphones and speakers."
  echo "(On a desktop, scripts/run.sh starts the program; xvfb-run -a build/bin/ovela also works.)"
  echo
  exec build/bin/ovela-demo "$@"
fi
exec build/bin/ovela "$@"

