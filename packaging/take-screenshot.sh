#!/usr/bin/env bash
# Takes the AppStream screenshot (screenshots/call.png) of a real call: Ana's program on a virtual
# display with openbox, with its self view, chat and data rates windows open, called by Bo's
# program running without a display, whose scripted user writes in the chat. The screenshot is
# committed, so this runs only when the windows change; it needs xvfb, openbox, x11-utils and
# imagemagick. Usage: packaging/take-screenshot.sh [folder of the built ovela, default build/bin]
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
ovela=$(realpath "${1:-$here/../build/bin}")/ovela
if [ -z "${OVELA_SCREENSHOT_DISPLAY:-}" ]; then
  exec env OVELA_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 1280x800x24" "$0" "$@"
fi

tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait; rm -rf "$tmp"' EXIT
for who in ana bo; do mkdir -p "$tmp/$who/cfg/ovela"; done
cat >"$tmp/ana/cfg/ovela/ovela.ini" <<EOF
[Personal]
Name=Ana Lima
EMail=ana@example.org
Location=Lisbon
[Calling]
AutoAccept=True
[Windows]
RememberWin=True
SelfViewOn=True
ChatToolOn=True
DataRatesOn=True
EOF
printf '[Personal]\nName=Bo Costa\nEMail=bo@example.org\nLocation=Porto\n' \
  >"$tmp/bo/cfg/ovela/ovela.ini"

openbox >/dev/null 2>&1 &
convert -size 1280x800 xc:'#3b4656' "$tmp/background.png"
display -window root "$tmp/background.png" || true # it sets the background, then exits with 1
(cd "$tmp/ana" && exec env QT_QPA_PLATFORM=xcb OVELA_CAMERA=pattern:320x240:yuv12 \
  XDG_CONFIG_HOME="$tmp/ana/cfg" "$ovela" --base-port 23600 >/dev/null 2>&1) &
sleep 7 # the splash window
(cd "$tmp/bo" && exec env QT_QPA_PLATFORM=offscreen OVELA_CAMERA=pattern:320x240:rgb24 \
  OVELA_SCRIPT="chat:2:Hi Ana! Can you see me?;chat:5:The picture is sharp here." \
  XDG_CONFIG_HOME="$tmp/bo/cfg" "$ovela" --base-port 23610 127.0.0.1:23600 >/dev/null 2>&1) &
sleep 12
# Cropped to the windows, with a margin of the background.
import -window root "$tmp/root.png"
convert "$tmp/root.png" -trim +repage -bordercolor '#3b4656' -border 16 -strip \
  "$here/screenshots/call.png"
echo "$here/screenshots/call.png"
