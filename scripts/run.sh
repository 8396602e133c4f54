#!/usr/bin/env bash
# Installs what OVELA needs, builds it and starts it. Arguments go to ovela
# (one optional address to call at start-up).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/deps.sh
scripts/build.sh
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ "${QT_QPA_PLATFORM:-}" != "offscreen" ]; then
  echo "OVELA was built (build/bin/ovela), but this machine has no display to show its windows on."
  echo "Start it from a desktop session, or under a virtual display: xvfb-run -a build/bin/ovela"
  exit 1
fi
exec build/bin/ovela "$@"
