#!/usr/bin/env bash
# Unpacks Dear ImGui from Debian's imgui source package into the given folder
# (default .deps/imgui). Uses ../shared/deps when it holds the package, and
# otherwise asks apt for the source package from the archive of the
# machine's own apt sources (scripts/apt-archive.sh).
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
dest=${1:-$here/.deps/imgui}
[ -f "$dest/imgui.h" ] && exit 0

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
orig=$(ls "$here"/../shared/deps/imgui_*.orig.tar.* 2>/dev/null | sort | tail -n 1 || true)
if [ -z "$orig" ]; then
  echo "fetch-imgui: no local copy, getting Debian's imgui source package with apt" >&2
  src=/etc/apt/sources.list.d/varnel-src.sources
  if [ ! -f "$src" ]; then
    uri=$(bash "$here/scripts/apt-archive.sh") || exit 1
    printf 'Types: deb-src\nURIs: %s\nSuites: sid\nComponents: main\nSigned-By: /usr/share/keyrings/debian-archive-keyring.gpg\n' "$uri" > "$src"
    apt-get update -qq
  fi
  (cd "$work" && apt-get source --download-only imgui >/dev/null)
  orig=$(ls "$work"/imgui_*.orig.tar.* | sort | tail -n 1)
fi
mkdir -p "$work/x"
tar -xf "$orig" -C "$work/x"
top=$(find "$work/x" -mindepth 1 -maxdepth 1 -type d | head -n 1)
[ -f "$top/imgui.h" ] || { echo "fetch-imgui: no imgui.h in $orig" >&2; exit 1; }
mkdir -p "$(dirname "$dest")"
rm -rf "$dest"
cp -r "$top" "$dest"
echo "fetch-imgui: $(grep -m1 'define IMGUI_VERSION ' "$dest/imgui.h") in $dest"
