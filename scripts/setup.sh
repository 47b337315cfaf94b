#!/usr/bin/env bash
# Installs what the build needs on a Debian 12 machine, skipping what is
# already there, from the machine's own apt sources (scripts/apt-archive.sh).
# Usage: scripts/setup.sh [build|test]
#   build: the Windows cross-compiler, CMake and Python 3 (enough for the plug-in)
#   test:  also GoogleTest, Google Benchmark and valgrind (the benchmarks'
#          instruction counts), clang with libFuzzer and the sanitizer
#          runtimes, Wine, Xvfb and xdotool
set -euo pipefail
what=${1:-test}
here=$(cd "$(dirname "$0")/.." && pwd)

pkgs=(cmake ninja-build g++ make xz-utils python3 g++-mingw-w64-x86-64-posix)
if [ "$what" = test ]; then
  pkgs+=(libgtest-dev libgmock-dev googletest libbenchmark-dev valgrind clang libclang-rt-dev
         wine wine64 xvfb xauth xdotool imagemagick x11-utils)
fi

# The Wine end-to-end test draws through Wine's Direct3D 12 on Mesa's
# lavapipe, which needs descriptor indexing: Mesa from bookworm-backports.
backports_pkgs=()
if [ "$what" = test ]; then
  backports_pkgs=(mesa-vulkan-drivers libvulkan1)
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

if [ ${#backports_pkgs[@]} -gt 0 ]; then
  sudo=""; [ "$(id -u)" -eq 0 ] || sudo=sudo
  export DEBIAN_FRONTEND=noninteractive
  mesa_major=$(dpkg-query -W -f='${Version}' mesa-vulkan-drivers 2>/dev/null | sed -n 's/^\([0-9]*\)\..*/\1/p' || true)
  if [ -z "$mesa_major" ] || [ "$mesa_major" -lt 24 ]; then
    list=/etc/apt/sources.list.d/varnel-backports.sources
    if ! grep -rqs 'bookworm-backports' /etc/apt/sources.list /etc/apt/sources.list.d/; then
      uri=$(bash "$here/scripts/apt-archive.sh") || exit 1
      printf 'Types: deb\nURIs: %s\nSuites: bookworm-backports\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" |
        $sudo tee "$list" >/dev/null
    fi
    echo "setup: installing ${backports_pkgs[*]} from bookworm-backports"
    $sudo apt-get update -qq
    $sudo apt-get install -y -qq --no-install-recommends -t bookworm-backports "${backports_pkgs[@]}" >/dev/null
  fi
fi
