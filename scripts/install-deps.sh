#!/usr/bin/env bash
# Installs what building and testing Lorvane needs on a fresh Debian machine.
set -euo pipefail
packages=(cmake ninja-build g++ file libgtest-dev libgmock-dev googletest
          libcurl4-openssl-dev g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
          wine64 xvfb xauth openssl pkg-config libwebkit2gtk-4.1-dev
          nlohmann-json3-dev libsqlite3-dev)
missing=()
# npm fetches the SQLite source of the Windows builds; any npm will do.
command -v npm >/dev/null || packages+=(npm)
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  export DEBIAN_FRONTEND=noninteractive
  SUDO=""; [ "$(id -u)" -ne 0 ] && SUDO=sudo
  $SUDO apt-get update -q
  $SUDO apt-get install -y -q "${missing[@]}"
fi
"$(dirname "$0")/fetch-sqlite.sh"
