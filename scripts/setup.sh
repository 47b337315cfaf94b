#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, skipping what is
# already there. Usage: scripts/setup.sh [build|test]
#   build: the Windows cross-compiler and CMake (enough for the plug-in)
#   test:  also GoogleTest, Google Benchmark, Wine, Xvfb and xdotool
set -euo pipefail
what=${1:-test}
here=$(cd "$(dirname "$0")/.." && pwd)

pkgs=(cmake ninja-build g++ make xz-utils g++-mingw-w64-x86-64-posix)
if [ "$what" = test ]; then
  pkgs+=(libgtest-dev libgmock-dev googletest libbenchmark-dev
         wine wine64 xvfb xauth xdotool imagemagick x11-utils)
fi

missing=()
for p in "${pkgs[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  $sudo apt-get update -qq
  $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

bash "$here/scripts/fetch-imgui.sh"
