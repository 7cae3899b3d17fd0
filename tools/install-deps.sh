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
# A mirror in the middle of a sync answers with index files of the wrong
# size for a while; try the update again before giving up, and let the
# install itself decide whether what was fetched is enough.
for attempt in 1 2 3 4; do
  if $sudo_cmd apt-get update -qq; then
    break
  fi
  echo "apt-get update failed (attempt $attempt); trying again" >&2
  sleep $((attempt * 15))
done
install_while_security_index_lags() {
  # While the mirror's i386 index of the security archive is mid-sync, apt
  # sees the amd64 libraries at security versions whose i386 twins it cannot
  # find. For this one transaction, prefer the point release over the
  # security archive and allow the few downgrades that needs; the pin is
  # removed again whatever happens, so that later upgrades are not held.
  local pin=/etc/apt/preferences.d/zupako-wine32-once
  printf '%s\n' 'Package: *' 'Pin: release l=Debian-Security' 'Pin-Priority: 100' '' \
    'Package: *' 'Pin: release n=bookworm,l=Debian' 'Pin-Priority: 1001' |
    $sudo_cmd tee "$pin" >/dev/null
  local rc=0
  $sudo_cmd apt-get install -y -qq --allow-downgrades --no-install-recommends "$@" || rc=$?
  $sudo_cmd rm -f "$pin"
  return $rc
}

if ! $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}"; then
  # The 32-bit side of Wine needs the i386 index of every archive at the
  # same versions as the amd64 one; while a mirror lags, try once more
  # with the point release pinned. When even that fails, everything else
  # still installs, and the suite then runs the 64-bit build only and says so.
  if ! install_while_security_index_lags "${missing[@]}"; then
    native=()
    for p in "${missing[@]}"; do
      [[ "$p" == *:i386 ]] || native+=("$p")
    done
    echo "warning: the 32-bit packages cannot be installed now; installing the rest" >&2
    if [ ${#native[@]} -gt 0 ]; then
      $sudo_cmd apt-get install -y -qq --no-install-recommends "${native[@]}"
    fi
  fi
fi
ensure_locale
