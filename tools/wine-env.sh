# Environment shared by every Wine run of the project: the dedicated prefix,
# the Japanese code page and a quiet Wine. Sourced, never run.
zpk_root=$(cd "$(dirname "${BASH_SOURCE[0]:-$0}")/.." && pwd)
export WINEPREFIX="${ZPK_WINEPREFIX:-$zpk_root/build/wineprefix}"
export WINEDEBUG="${WINEDEBUG:--all}"
# Code page 932 for the ANSI side of the programs.
export LC_ALL=ja_JP.UTF-8
# A fresh prefix would otherwise offer to download Mono and Gecko, and the
# menu builder would copy shortcuts and associations out of the prefix.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree=;mshtml=;winemenubuilder.exe=d}"

# Some kernels (sandboxes among them) cannot execute 32-bit Linux programs,
# and Wine 8 needs its 32-bit loader for 32-bit Windows programs. There the
# 64-bit loader runs everything it can, and 32-bit programs cannot be run.
if [ -z "${ZPK_WIN32_RUNS:-}" ]; then
  if [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1; then
    ZPK_WIN32_RUNS=1
  else
    ZPK_WIN32_RUNS=0
  fi
  export ZPK_WIN32_RUNS
fi
if [ "$ZPK_WIN32_RUNS" = 1 ] || [ ! -x /usr/lib/wine/wine64 ]; then
  ZPK_WINE=wine
else
  ZPK_WINE=/usr/lib/wine/wine64
  export WINELOADER=/usr/lib/wine/wine64
fi
if [ -x /usr/lib/wine/wineserver64 ]; then
  ZPK_WINESERVER=/usr/lib/wine/wineserver64
else
  ZPK_WINESERVER=wineserver
fi
export ZPK_WINE ZPK_WINESERVER
