#!/usr/bin/env bash
# Checks a built package: its name, its control fields and the dependencies computed from its
# binaries, the files it holds and the desktop files' validity; then unpacks it into a throw-away
# root, checks the directory server's systemd unit there (systemd-analyze verify and security) and
# its example configuration (a conffile, which the server starts with), and starts the program
# from there: `ovela --version`, and a short run without a display that calls itself, which must
# load both engines from the unpacked tree, play the ring from the unpacked sounds, log its start
# and end, and print nothing.
# Usage: packaging/check-package.sh path/to/ovela_<version>-1_<arch>.deb
set -euo pipefail
deb=$(realpath "$1")
src=$(cd "$(dirname "$0")/.." && pwd)
fail() {
  echo "package check: $*" >&2
  exit 1
}

version=$(sed -n 's/^project(ovela VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
[ "$(basename "$deb")" = "ovela_${version}-1_$(dpkg --print-architecture).deb" ] ||
  fail "unexpected file name $(basename "$deb")"
[ "$(dpkg-deb -f "$deb" Package) $(dpkg-deb -f "$deb" Version)" = "ovela ${version}-1" ] ||
  fail "control fields: $(dpkg-deb -f "$deb" Package Version)"
depends=$(dpkg-deb -f "$deb" Depends)
for package in libc6 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6sql6 libasound2 libsndfile1 \
  libjpeg62-turbo libgsm1 libv4l-0 libfreetype6 libsamplerate0 libminiupnpc17 libnatpmp1 libssl3; do
  [[ ", $depends," == *", $package "* || ", $depends," == *", $package,"* ]] ||
    fail "Depends lacks $package: $depends"
done

root=$(realpath "$(mktemp -d)")
pid=
cleanup() {
  [ -n "$pid" ] && kill -KILL "$pid" 2>/dev/null
  rm -rf "$root"
}
trap cleanup EXIT
dpkg-deb -x "$deb" "$root"
usr=$root/usr

expected=(bin/ovela lib/ovela/libRXVLIB11.so lib/ovela/libQVNAUD20.so
  share/applications/ovela.desktop share/metainfo/org.ovela.ovela.metainfo.xml
  share/icons/hicolor/scalable/apps/ovela.svg share/man/man1/ovela.1.gz
  share/doc/ovela/examples/ovela-unattended.service
  bin/ovela-directory share/man/man1/ovela-directory.1.gz lib/systemd/system/ovela-directory.service)
for dir in "$src"/packaging/icons/*x*/; do
  expected+=("share/icons/hicolor/$(basename "$dir")/apps/ovela.png")
done
# resources/ goes whole to share/ovela: sounds now, pictures and help as they come.
while IFS= read -r file; do
  expected+=("share/ovela/${file#./}")
done < <(cd "$src/resources" && find . -type f)
for file in "${expected[@]}"; do
  [ -f "$usr/$file" ] || fail "missing /usr/$file"
done
config=/etc/ovela-directory/ovela-directory.ini
[ -f "$root$config" ] || fail "missing $config"
[ "$(dpkg-deb -I "$deb" conffiles)" = "$config" ] ||
  fail "conffiles: $(dpkg-deb -I "$deb" conffiles 2>&1)"
build=$(dirname "$(dirname "$deb")") # the package is made in <build folder>/package
if grep -rlF -e "$build/" -e "$src/app/" -e "$src/videolib/" -e "$src/audiolib/" "$root" >&2; then
  fail "the files above hold a path of the source or build folder"
fi
desktop-file-validate "$usr/share/applications/ovela.desktop"
metainfo=$usr/share/metainfo/org.ovela.ovela.metainfo.xml
appstreamcli validate --no-net --pedantic "$metainfo" >/dev/null ||
  fail "$(appstreamcli validate --no-net --pedantic "$metainfo")"

[ "$("$usr/bin/ovela" --version)" = "ovela $version" ] || fail "ovela --version"
[ "$("$usr/bin/ovela-directory" --version)" = "ovela-directory $version" ] ||
  fail "ovela-directory --version"

# The server's unit, as systemd reads it from the unpacked tree, where ExecStart= must name a
# program and Documentation= a manual page (man looks in the tree's). A mistake in a key or a
# value is only a warning, so the check wants no output at all. systemd's own units are copied
# beside it for the targets it is ordered against.
cp -rn /usr/lib/systemd/system/. "$usr/lib/systemd/system/"
if ! verify=$(MANPATH=$usr/share/man systemd-analyze verify --root="$root" ovela-directory.service 2>&1) ||
  [ -n "$verify" ]; then
  fail "systemd-analyze verify ovela-directory.service: $verify"
fi
# Its sandbox, as systemd rates it from 0 to 10 (lower is safer; it is 1.6): at most 2.0.
systemd-analyze security --offline=yes --root="$root" --threshold=20 ovela-directory.service \
  >/dev/null 2>&1 ||
  fail "the unit's sandbox: $(systemd-analyze security --offline=yes --root="$root" ovela-directory.service 2>&1 |
    grep -E '✗|Overall')"
grep -qxF "ExecStart=/usr/bin/ovela-directory --config $config" \
  "$usr/lib/systemd/system/ovela-directory.service" || fail "the unit's ExecStart="
# The server starts with the example configuration, on free ports and a database of its own.
mkdir -p "$root/server"
"$usr/bin/ovela-directory" --config "$root$config" --database "$root/server/directory.db" \
  --directory-port 0 --pal-port 0 >"$root/server/stdout" 2>"$root/server/stderr" &
pid=$!
for _ in $(seq 50); do
  [ -s "$root/server/stdout" ] || ! kill -0 "$pid" 2>/dev/null && break
  sleep 0.1
done
kill -TERM "$pid" 2>/dev/null || true
status=0
wait "$pid" || status=$?
pid=
grep -q "^ovela-directory $version listening:" "$root/server/stdout" && [ "$status" = 0 ] ||
  fail "ovela-directory with $config: status $status, $(cat "$root/server/stdout" "$root/server/stderr")"

# The run: a fresh settings folder (filled in, so no options window waits) and working folder,
# four free ports, a scripted camera, no sound devices for the calls, and ALSA's default device
# writing what it plays to a file, so a ring that reaches it proves a sound file was found: the
# working folder has none, only the unpacked share/ovela does.
run=$root/run
mkdir -p "$run/config/ovela" "$run/work"
printf '[Personal]\nName=Package Check\nEMail=check@localhost\nLocation=Here\n' \
  >"$run/config/ovela/ovela.ini"
cat >"$run/asound.conf" <<EOF
pcm.!default { type file slave.pcm { type null } file "$run/played.raw" format "raw" }
EOF
port_free() { ! (exec 3<>"/dev/tcp/127.0.0.1/$1") 2>/dev/null; }
base=
for candidate in $(seq 23500 4 23596); do
  if port_free "$candidate" && port_free $((candidate + 1)) && port_free $((candidate + 2)) &&
    port_free $((candidate + 3)); then
    base=$candidate
    break
  fi
done
[ -n "$base" ] || fail "no four free ports from 23500 on"
(cd "$run/work" && exec env -u LD_LIBRARY_PATH QT_QPA_PLATFORM=offscreen \
  ALSA_CONFIG_PATH="$run/asound.conf" OVELA_CAMERA=pattern:320x240:yuv12 OVELA_MIC=none \
  OVELA_SPEAKER=none OVELA_SOUND_LOG="$run/sounds.txt" XDG_CONFIG_HOME="$run/config" \
  "$usr/bin/ovela" --base-port "$base" "127.0.0.1:$base" >"$run/stdout" 2>"$run/stderr") &
pid=$!
engines=0
for _ in $(seq 50); do
  engines=$({ grep -oE " $usr/lib/ovela/lib(RXVLIB11|QVNAUD20)\.so$" "/proc/$pid/maps" || true; } |
    sort -u | wc -l)
  [ "$engines" = 2 ] && [ -s "$run/played.raw" ] && break
  sleep 0.2
done
kill -TERM "$pid" 2>/dev/null || true
status=0
for _ in $(seq 50); do
  kill -0 "$pid" 2>/dev/null || break
  sleep 0.2
done
wait "$pid" || status=$?
pid=
[ "$engines" = 2 ] || fail "the engines were not loaded from $usr/lib/ovela"
[ -s "$run/played.raw" ] || fail "no sound played (asked for: $(cat "$run/sounds.txt" 2>/dev/null))"
[ "$status" = 0 ] || fail "ovela ended with status $status after SIGTERM"
for line in "OVELA Power Up" "OVELA Power Down"; do
  grep -q "$line" "$run/work/ovela.log" ||
    fail "no \"$line\" in the log: $(cat "$run/work/ovela.log")"
done
if [ -s "$run/stderr" ] || [ -s "$run/stdout" ]; then
  fail "ovela printed: $(cat "$run/stdout" "$run/stderr")"
fi
echo "Package ok: $(basename "$deb"), $(stat -c %s "$run/played.raw") bytes of ring played from"\
  "the unpacked tree"
