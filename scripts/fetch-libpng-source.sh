#!/usr/bin/env bash
# Unpacks Debian's libpng1.6 source package into a cache folder outside the sources
# (default: build/deps/libpng), so that the Windows build compiles the same libpng the
# native build links. Prints the folder. Safe to run again: an unpacked tree is reused.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
CACHE=${1:-$ROOT/build/deps}
DEST=$CACHE/libpng

if [ -f "$DEST/png.c" ] && [ -f "$DEST/scripts/pnglibconf.h.prebuilt" ]; then
  echo "$DEST"
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

mkdir -p "$CACHE"
work=$(mktemp -d "$CACHE/libpng-fetch.XXXXXX")
trap 'rm -rf "$work"' EXIT

# Prefer the source of the version the native build links, so both builds decode alike;
# the archive keeps only the newest version of a suite, so fall back to that.
fetch() {
  (cd "$work" && apt-get source -qq "$1" >"$work/apt.log" 2>&1) || { cat "$work/apt.log" >&2; return 1; }
}
installed=$(dpkg-query -W -f='${Version}' libpng-dev 2>/dev/null || true)
if ! { [ -n "$installed" ] && fetch "libpng1.6=$installed"; }; then
  if ! fetch libpng1.6; then
    # The deb-src entry may be new and its index not read yet.
    $SUDO apt-get update -qq
    fetch libpng1.6
  fi
fi

src=$(find "$work" -mindepth 1 -maxdepth 1 -type d -name 'libpng1.6-*' | head -n 1)
if [ -z "$src" ] || [ ! -f "$src/png.c" ]; then
  echo "fetch-libpng-source: no unpacked libpng tree in $work" >&2
  exit 1
fi
rm -rf "$DEST"
mv "$src" "$DEST"
echo "$DEST"
