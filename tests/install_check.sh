#!/bin/sh
# make install into a scratch DESTDIR: the program, a valid desktop entry and the icon land
# in their XDG places.
set -eu
src=$1 build=$2
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
make -s -C "$src" install BUILD="$build" DESTDIR="$dest" PREFIX=/usr >/dev/null
for f in bin/velloran share/applications/velloran.desktop share/icons/hicolor/scalable/apps/velloran.svg; do
  [ -f "$dest/usr/$f" ] || { echo "missing: /usr/$f"; exit 1; }
done
[ -x "$dest/usr/bin/velloran" ] || { echo "not executable"; exit 1; }
readelf -S "$dest/usr/bin/velloran" | grep -q '\.symtab' && { echo "not stripped"; exit 1; }
desktop-file-validate "$dest/usr/share/applications/velloran.desktop"
grep -qx 'Exec=velloran %U' "$dest/usr/share/applications/velloran.desktop"
grep -qx 'Icon=velloran' "$dest/usr/share/applications/velloran.desktop"
grep -q '^Categories=AudioVideo;Audio;Video;Player;$' "$dest/usr/share/applications/velloran.desktop"
grep -q '<svg' "$dest/usr/share/icons/hicolor/scalable/apps/velloran.svg"
echo installed and valid
