#!/usr/bin/env bash
# Installs the build and test dependencies that are missing (Debian 12, as root).
set -euo pipefail
# fonts-dejavu-core: text of the generated pictures and help document;
# libqt5svg5-dev: the channel plan as SVG; dpkg-dev: package dependencies for cpack; desktop-file-utils, appstream: validator tests.
packages=(cmake make g++ pkg-config qtbase5-dev qttools5-dev qttools5-dev-tools libqt5svg5-dev
          libftdi1-dev libudev-dev fonts-dejavu-core dpkg-dev desktop-file-utils appstream "$@")
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
