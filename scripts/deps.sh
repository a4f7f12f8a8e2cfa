#!/usr/bin/env bash
# Installs from Debian's packages whatever the build, the program or the tests still miss.
# Usage: scripts/deps.sh [run|test|bench]
set -euo pipefail
what=${1:-test}

packages=(cmake ninja-build g++ pkg-config qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6svg6
          fonts-wqy-microhei qt6-translations-l10n libgtest-dev libgmock-dev xdg-utils)
case "$what" in
  run) packages+=(libgl-dev) ;;
  test) packages+=(libgl-dev) ;;
  bench) packages+=(libgl-dev fd-find findutils) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=""
[ "$(id -u)" -eq 0 ] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
