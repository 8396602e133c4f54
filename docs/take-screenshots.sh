#!/usr/bin/env bash
# Takes the user guide's screenshots (docs/screenshots/*.png) from real programs: Ana's OVELA on
# a virtual display with the openbox window manager, called by Bo's OVELA running without a
# display, with a small fake directory and pal server (docs/fake-directory.py) so the directory
# window has people in it. Ana's scripted user (OVELA_SCRIPT) opens the windows one after the
# other; each is captured with its frame as the window manager draws it.
#
# Needs xvfb, openbox, x11-utils, xdotool, imagemagick and python3. The screenshots are
# committed, so this runs only when the windows change. The screen is read with ImageMagick's
# import: xwd -root on Xvfb shows a window that lies wholly over another one of the same program
# as a black rectangle, though it is drawn (xwd -id on the window itself shows it).
#
# Usage: docs/take-screenshots.sh [options]
#   --bin DIR      the folder of the built ovela (default: build/bin)
#   --out DIR      where the pictures go (default: docs/screenshots)
#   --scale N      Qt's scale factor (QT_SCALE_FACTOR), e.g. 2 to check 200%
#   --dark         the desktop's dark theme (needs qt6-gtk-platformtheme)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
bin=$here/../build/bin
out=$here/screenshots
scale=1
dark=0
while [ $# -gt 0 ]; do
  case $1 in
    --bin) bin=$2; shift 2 ;;
    --out) out=$2; shift 2 ;;
    --scale) scale=$2; shift 2 ;;
    --dark) dark=1; shift ;;
    *) echo "unknown option $1" >&2; exit 2 ;;
  esac
done
ovela=$(realpath "$bin")/ovela
mkdir -p "$out"
out=$(realpath "$out")
if [ -z "${OVELA_SCREENSHOT_DISPLAY:-}" ]; then
  size="$((1280 * scale))x$((900 * scale))x24"
  exec env OVELA_SCREENSHOT_DISPLAY=1 xvfb-run -a -s "-screen 0 $size -dpi 96" \
    "$0" --bin "$bin" --out "$out" --scale "$scale" $([ "$dark" = 1 ] && echo --dark)
fi

tmp=$(mktemp -d)
trap 'kill $(jobs -p) 2>/dev/null; wait 2>/dev/null; rm -rf "$tmp"' EXIT
ports=$((24000 + RANDOM % 4000 * 4))
ana=$ports bo=$((ports + 100)) dir=$((ports + 200)) pal=$((ports + 201))

for who in ana bo; do mkdir -p "$tmp/$who/cfg/ovela"; done
cat >"$tmp/ana/cfg/ovela/ovela.ini" <<EOF
[Personal]
Name=Ana Lima
EMail=ana@example.org
Location=Lisbon
Comment=Lisbon, most evenings
DirAddress=127.0.0.1
DirPort=$dir
[Calling]
AutoAccept=True
[Windows]
RememberWin=True
SelfViewOn=True
ChatToolOn=True
DataRatesOn=False
EOF
printf 'Bo Costa\r\nbo@example.org\r\nChiara Rossi\r\nchiara@example.org\r\nEmma Schulz\r\nemma@example.org\r\n' \
  >"$tmp/ana/ovela.pal"
printf ' 3501 \r\nSpam Sender\r\noffers@example.net\r\n 3502 \r\nLeo Marques\r\nleo@example.com\r\n' \
  >"$tmp/ana/refuse.dat"
printf '[Personal]\nName=Bo Costa\nEMail=bo@example.org\nLocation=Porto\n' \
  >"$tmp/bo/cfg/ovela/ovela.ini"

python3 "$here/fake-directory.py" "$dir" "$pal" &
openbox >/dev/null 2>&1 &
convert -size 64x64 xc:'#3b4656' "$tmp/background.png"
display -window root "$tmp/background.png" 2>/dev/null || true # sets the background, exits 1

theme=()
if [ "$dark" = 1 ]; then theme=(QT_QPA_PLATFORMTHEME=gtk3 GTK_THEME=Adwaita:dark); fi
# Sound devices of ALSA's own silent kind, so that the lights and the Audio tab show devices
# whatever this machine has.
cat >"$tmp/asound.conf" <<EOF
pcm.!default { type null hint { show on description "Default sound device" } }
pcm.headset { type null hint { show on description "USB Headset, Analog Stereo" } }
pcm.hdmi { type null hint { show on description "HDA Intel PCH, HDMI 0" } }
EOF
# The machine's real router is left alone.
common=(QT_SCALE_FACTOR="$scale" OVELA_PAL_HOST="127.0.0.1:$pal" "${theme[@]}"
  ALSA_CONFIG_PATH="$tmp/asound.conf" OVELA_MAP_PORTS=No)

# Ana's script, in seconds after her start; the shots below follow the same clock.
script="menu:29:Menu_FileCall;click:31:frmMessage:cmdOK;open:34;write:38:127.0.0.1:$bo:Bo Costa:Porto:See you on Sunday!"
script+=";menu:42:Menu_ViewOptions"
for tab in 0 1 2 3 4; do script+=";tab:$((42 + 3 * tab)).5:frmOptions:$tab"; done
script+=";menu:58:Menu_HelpContents;type:62:frmHelp:txtFind:camera busy"
script+=";menu:66:Menu_HelpDoctor;menu:82:Menu_HelpAbout;menu:85:Menu_ViewLog;exit:89"

start=$(date +%s)
at() { # waits until second $1 of Ana's clock
  local now=$(($(date +%s) - start))
  [ "$now" -lt "$1" ] && sleep $(($1 - now))
  return 0
}
(cd "$tmp/ana" && exec env QT_QPA_PLATFORM=xcb OVELA_CAMERA=pattern:320x240:yuv12 \
  XDG_CONFIG_HOME="$tmp/ana/cfg" OVELA_SCRIPT="$script" "${common[@]}" \
  "$ovela" --base-port "$ana" >"$tmp/ana.log" 2>&1) &

at 7
bo_script="chat:2:Hi Ana! Can you see me?;chat:5:The picture is sharp here.;hangup:14"
bo_script+=";send:17:2:127.0.0.1:$ana:Thanks for the call. Same time next week?"
(cd "$tmp/bo" && exec env QT_QPA_PLATFORM=offscreen OVELA_CAMERA=pattern:320x240:rgb24 \
  XDG_CONFIG_HOME="$tmp/bo/cfg" OVELA_SCRIPT="$bo_script" "${common[@]}" \
  "$ovela" --base-port "$bo" "127.0.0.1:$ana" >"$tmp/bo.log" 2>&1) &

# One window with its frame, found by its title: the screen cut to the window and the frame the
# window manager put around it.
shoot() { # title file
  local id x y width height l r t b
  id=$(xdotool search --onlyvisible --name "^$1\$" | tail -1)
  if [ -z "$id" ]; then echo "no window \"$1\" for $2" >&2; return 0; fi
  x=$(xwininfo -id "$id" | awk '/Absolute upper-left X/ {print $4}')
  y=$(xwininfo -id "$id" | awk '/Absolute upper-left Y/ {print $4}')
  width=$(xwininfo -id "$id" | awk '/ Width:/ {print $2}')
  height=$(xwininfo -id "$id" | awk '/ Height:/ {print $2}')
  read -r l r t b < <(xprop -id "$id" _NET_FRAME_EXTENTS | sed 's/.*= //; s/,//g')
  import -window root png:- |
    convert - -crop "$((width + l + r))x$((height + t + b))+$((x - l))+$((y - t))" +repage \
      -strip "$out/$2"
  echo "$out/$2"
}
# The whole screen, cut down to the windows on it.
shoot_screen() { # file
  import -window root png:- |
    convert - -trim +repage -bordercolor '#3b4656' -border $((12 * scale)) -strip "$out/$1"
  echo "$out/$1"
}

at 17; shoot_screen call.png
shoot "Text Chat - Bo Costa" chat.png
at 32; shoot "Online Directories" directory.png
at 37; shoot "Incoming Message" message-in.png
at 41; shoot "Send Message" message-out.png
names=(personal general video audio messaging)
for tab in 0 1 2 3 4; do at $((44 + 3 * tab)); shoot "OVELA Properties" "options-${names[$tab]}.png"; done
at 60; shoot "OVELA Help" help.png
at 64; shoot "OVELA Help" help-find.png
at 80; shoot "Connection Doctor" doctor.png
at 84; shoot "About OVELA" about.png
at 87; shoot "OVELA Log" log.png
at 90
if grep -v '^$' "$tmp/ana.log" "$tmp/bo.log"; then echo "(the programs' output above)" >&2; fi
