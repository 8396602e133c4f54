#!/usr/bin/env bash
# Installs what OVELA needs on Debian 12: "run" for the program alone (scripts/run.sh), "all"
# (the default) for every test, benchmark and package as well (scripts/test.sh).
# Only Debian's package manager is used; nothing is downloaded from elsewhere.
set -euo pipefail

# What building and running the program, the engines, the directory server and the demo needs.
run_packages=(
  build-essential cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools libgl-dev libxcb1-dev x11proto-dev
  libjpeg62-turbo-dev libgsm1-dev libasound2-dev libv4l-dev libsndfile1-dev libsamplerate0-dev
  fonts-dejavu-core libfreetype-dev
  libqt6sql6-sqlite
  libminiupnpc-dev libnatpmp-dev
  libssl-dev
)
# What the tests, benchmarks, sanitizer and fuzz builds, the package and the screenshots add.
test_packages=(
  libturbojpeg0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  clang libclang-rt-14-dev
  xvfb xauth openbox iproute2
  miniupnpd-nftables miniupnpc nftables
  dbus-daemon dunst trayer xdotool x11-utils
  at-spi2-core python3-pyatspi
  dpkg-dev file desktop-file-utils appstream systemd man-db
  libqt6sql6-psql postgresql
)
case "${1:-all}" in
  run) packages=("${run_packages[@]}") ;;
  all) packages=("${run_packages[@]}" "${test_packages[@]}") ;;
  *) echo "usage: scripts/deps.sh [run|all]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
if [ "$(id -u)" -ne 0 ]; then
  if command -v sudo >/dev/null 2>&1; then sudo="sudo"; else
    echo "Missing packages: ${missing[*]}" >&2
    echo "Run this script as root, or install them with apt-get." >&2
    exit 1
  fi
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo apt-get update -qq
$sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
