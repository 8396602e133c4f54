#!/bin/sh
# Runs a test program on a desktop of its own: a virtual X server (Xvfb) with the openbox window
# manager, a private session bus, the dunst notification server and the trayer tray. dunst's
# context menu (dunstctl action) takes the first "Accept" it offers, as a person would pick it.
# Exits 77 (skipped) when one of them is not installed.
for tool in xvfb-run openbox dbus-daemon dunst dunstctl trayer xdotool xmessage; do
  command -v $tool >/dev/null || {
    echo "under-desktop.sh: skipped, $tool is missing (scripts/deps.sh installs it)" >&2
    exit 77
  }
done
export LSAN_OPTIONS="suppressions=$(dirname "$0")/lsan-xcb.supp${LSAN_OPTIONS:+:$LSAN_OPTIONS}"
exec xvfb-run -a -s "-screen 0 1280x1024x24" sh -c '
  dir=$(mktemp -d)
  printf "#!/bin/sh\ngrep -m1 \",accept]\"\n" >"$dir/pick"
  chmod +x "$dir/pick"
  printf "[global]\n    dmenu = %s/pick\n" "$dir" >"$dir/dunstrc"
  bus=$(dbus-daemon --session --fork --print-address=1 --print-pid=1) || exit 1
  export DBUS_SESSION_BUS_ADDRESS=$(echo "$bus" | sed -n 1p)
  buspid=$(echo "$bus" | sed -n 2p)
  openbox >/dev/null 2>&1 & wm=$!
  dunst -config "$dir/dunstrc" >/dev/null 2>&1 & notices=$!
  trayer --edge bottom --align right --widthtype request --height 32 >/dev/null 2>&1 & tray=$!
  sleep 1
  QT_QPA_PLATFORM=xcb "$@"; rc=$?
  kill $tray $notices $wm $buspid
  rm -rf "$dir"
  exit $rc' sh "$@"
