#!/usr/bin/env bash
# Assembles what a Windows user downloads: the folder Zupako/ with the
# programs, the drop handler and zlib of both widths, the read-me and its
# pictures, and Zupako-<version>.zip of that folder. Prints where the package
# is and what it holds.
# usage: assemble-dist.sh [OUTPUT] [--programs 64]   (default: dist)
# --programs 64 puts the 64-bit builds of ZPKSet.exe and ZPKMain.exe in the
# place of the 32-bit ones: a package for trying the whole journey on a
# machine that cannot run 32-bit programs. It is never the one to hand out.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
dist=${1:-dist}
programs=${3:-32}
if [ "${2:-}" != "" ] && [ "${2:-}" != "--programs" ]; then
  echo "usage: assemble-dist.sh [OUTPUT] [--programs 64]" >&2
  exit 2
fi
mkdir -p "$dist"
dist=$(cd "$dist" && pwd)
version=$(sed -n 's/^project(Zupako VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
out="$dist/Zupako"
rm -rf "$out" "$dist/Zupako-$version.zip"
mkdir -p "$out"
# The programs and the 32-bit zlib come from the 32-bit build, the 64-bit
# drop handler and zlib from the 64-bit build; a package without them is no
# package.
for file in build/win32/dist/ZPKMain.exe build/win32/dist/ZPKSet.exe build/win32/dist/ZPKShlEx32.dll \
            build/win32/dist/zlibwapi32.dll build/win64/dist/ZPKShlEx64.dll build/win64/dist/zlibwapi64.dll; do
  [ -f "$file" ] || { echo "assemble-dist: $file is missing; build both widths first (tools/build.sh)" >&2; exit 1; }
  cp "$file" "$out/"
done
if [ "$programs" = 64 ]; then
  cp build/win64/setup/bin/ZPKSet.exe build/win64/viewer/ZPKMain.exe "$out/"
fi
# The read-me and its pictures, which tools/screenshots/readme-pictures.sh
# makes; they are kept in the repository.
cp resources/ReadMe.htm "$out/"
mkdir -p "$out/image"
cp resources/image/*.png "$out/image/"
# Info-ZIP without extra blocks of Unix owners and times: the archive holds
# what a Windows user unpacks, nothing of the build machine.
(cd "$dist" && zip -q -r -X "Zupako-$version.zip" Zupako)
unzip -tq "$dist/Zupako-$version.zip" >/dev/null
echo "package: ${dist#$root/}/Zupako-$version.zip ($(stat -c %s "$dist/Zupako-$version.zip") bytes), unpacked in ${out#$root/}/:"
(cd "$out" && find . -type f | sort | sed 's|^\./|  |')
