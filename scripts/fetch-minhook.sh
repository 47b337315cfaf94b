#!/usr/bin/env bash
# Builds MinHook for the Windows build into the given folder (default
# .deps/minhook) from a copy of its source beside the checkout,
# ../shared/deps/minhook-<version>.tar.gz: cross-compiled with the project's
# MinGW-w64 toolchain, installed as MinHook installs itself (the static
# library, MinHook.h and the CMake package minhook::minhook under
# <folder>/lib/minhook). Nothing is done when the folder already holds it.
# Without a source copy it says so and succeeds: the Windows build then uses
# its built-in hook engine. A source that does not build is an error.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$here/.deps/minhook}
[ -f "$dest/lib/minhook/minhook-config.cmake" ] && exit 0

src=$(ls "$here"/../shared/deps/minhook-*.tar.gz 2>/dev/null | sort -V | tail -n 1 || true)
if [ -z "$src" ]; then
  echo "fetch-minhook: no MinHook source in ../shared/deps (minhook-<version>.tar.gz): nothing built"
  exit 0
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/x"
tar -xzf "$src" -C "$work/x"
top=$(find "$work/x" -mindepth 1 -maxdepth 1 -type d | head -n 1)
[ -f "$top/include/MinHook.h" ] && [ -f "$top/CMakeLists.txt" ] ||
  { echo "fetch-minhook: $src holds no MinHook source (include/MinHook.h, CMakeLists.txt)" >&2; exit 1; }
log=$work/build.log
if ! { cmake -S "$top" -B "$work/build" -G Ninja \
         -DCMAKE_TOOLCHAIN_FILE="$here/cmake/toolchain-mingw64.cmake" \
         -DCMAKE_BUILD_TYPE=Release -DBUILD_SHARED_LIBS=OFF -DCMAKE_INSTALL_PREFIX="$work/install" &&
       cmake --build "$work/build" &&
       cmake --install "$work/build"; } >"$log" 2>&1; then
  echo "fetch-minhook: MinHook from $src did not build:" >&2
  tail -n 40 "$log" >&2
  exit 1
fi
[ -f "$work/install/lib/minhook/minhook-config.cmake" ] ||
  { echo "fetch-minhook: the build of $src installed no lib/minhook/minhook-config.cmake" >&2; exit 1; }
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
mv "$work/install" "$dest"
echo "fetch-minhook: MinHook built from $(basename "$src") into $dest"
