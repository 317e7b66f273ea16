#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root, or via sudo).
set -euo pipefail
packages=(cmake make g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64
          xvfb xauth xdotool x11-utils imagemagick faketime libfaketime wixl msitools python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}"
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
