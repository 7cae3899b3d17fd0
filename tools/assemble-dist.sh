#!/usr/bin/env bash
# Assembles the deliverables that the build has made into dist/Zupako/, the
# folder a Windows user would unpack, and lists what is there.
set -euo pipefail
cd "$(dirname "$0")/.."
out=dist/Zupako
rm -rf "$out"
mkdir -p "$out"
# The programs and the 32-bit zlib come from the 32-bit build, the 64-bit
# drop handler and zlib from the 64-bit build.
for file in build/win32/dist/* build/win64/dist/*64.dll; do
  [ -f "$file" ] && cp "$file" "$out/"
done
for extra in ReadMe.htm; do
  [ -f "resources/$extra" ] && cp "resources/$extra" "$out/"
done
if [ -d resources/image ]; then
  mkdir -p "$out/image"
  cp resources/image/*.png "$out/image/"
fi
echo "dist/Zupako:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
