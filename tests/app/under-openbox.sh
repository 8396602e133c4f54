#!/bin/sh
# Runs a test program on a virtual X server (Xvfb) under the openbox window manager.
command -v xvfb-run >/dev/null && command -v openbox >/dev/null || {
  echo "under-openbox.sh: needs xvfb-run and openbox (scripts/deps.sh installs them)" >&2
  exit 1
}
# In a sanitizer build: what libdbus keeps for the life of the process is not a leak of ours.
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-xcb.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  openbox >/dev/null 2>&1 & wm=$!
  sleep 0.5
  QT_QPA_PLATFORM=xcb "$@"; rc=$?
  kill $wm
  exit $rc' sh "$@"
