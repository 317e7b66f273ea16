#!/usr/bin/env bash
# Installs what building and testing need on a fresh Debian machine (as root, or via sudo).
# The 32-bit Wine (wine32:i386) runs the 32-bit programs themselves where the host can
# execute 32-bit code (scripts/runs-32bit.sh); installing it succeeds everywhere. Wine's own
# fonts (fonts-wine), which the template prefix takes into its Fonts folder, draw a
# caption's close box as Windows does.
set -euo pipefail
packages=(cmake make gcc g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest wine wine64
          wine32:i386 fonts-wine xvfb xauth xdotool x11-utils imagemagick faketime libfaketime
          libfaketime:i386 wixl msitools osslsigncode openssl python3)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
sudo=""
[ "$(id -u)" -eq 0 ] || sudo=sudo
echo "installing: ${missing[*]}"
dpkg --print-foreign-architectures | grep -qx i386 || $sudo dpkg --add-architecture i386
$sudo apt-get update -qq
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
