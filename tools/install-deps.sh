#!/usr/bin/env bash
# Installs everything the build and the test suite need on Debian 12.
# Safe to run again: packages that are already present are skipped.
set -euo pipefail

packages=(
  cmake ninja-build make python3 perl
  mingw-w64 g++-mingw-w64-i686-posix g++-mingw-w64-x86-64-posix
  libz-mingw-w64-dev googletest
  wine wine64 wine32:i386
  xvfb xauth xdotool imagemagick fonts-ipafont-gothic fonts-wine
  zip unzip p7zip-full libarchive-tools gcab cabextract
  locales
)

if [ "$(id -u)" -ne 0 ]; then
  sudo_cmd=sudo
else
  sudo_cmd=
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

ensure_locale() {
  # Wine takes its ANSI code page from the locale; generate the Japanese one
  # so that the shells of the test runs do not warn about it either.
  if ! locale -a 2>/dev/null | grep -qi '^ja_JP\.utf-\?8$'; then
    $sudo_cmd sed -i 's/^# *ja_JP.UTF-8 UTF-8/ja_JP.UTF-8 UTF-8/' /etc/locale.gen
    grep -q '^ja_JP.UTF-8 UTF-8' /etc/locale.gen || echo 'ja_JP.UTF-8 UTF-8' | $sudo_cmd tee -a /etc/locale.gen >/dev/null
    $sudo_cmd locale-gen >/dev/null
  fi
}

if [ ${#missing[@]} -eq 0 ]; then
  ensure_locale
  exit 0
fi

if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo_cmd dpkg --add-architecture i386
fi
echo "Installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$sudo_cmd apt-get update -qq
$sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"
ensure_locale
