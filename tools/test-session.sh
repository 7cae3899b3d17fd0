#!/usr/bin/env bash
# Runs a command inside a test session: the project's Wine prefix (created on
# first use), a virtual X display and a persistent wineserver. Everything the
# session started is stopped again when the command ends, however it ends.
set -u
here=$(cd "$(dirname "$0")" && pwd)
. "$here/wine-env.sh"

xvfb_pid=
cleanup() {
  "$ZPK_WINESERVER" -k >/dev/null 2>&1
  "$ZPK_WINESERVER" -w >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" >/dev/null 2>&1
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A display of our own, so that no test ever draws on somebody's screen;
# 1280 x 1024 unless ZPK_SCREEN says otherwise (pictures at a larger scale).
for n in $(seq 90 140); do
  if [ ! -e "/tmp/.X$n-lock" ] && [ ! -e "/tmp/.X11-unix/X$n" ]; then
    Xvfb ":$n" -screen 0 "${ZPK_SCREEN:-1280x1024x24}" -nolisten tcp >/dev/null 2>&1 &
    xvfb_pid=$!
    export DISPLAY=":$n"
    break
  fi
done
if [ -z "$xvfb_pid" ]; then
  echo "test-session: no free X display number" >&2
  exit 1
fi
for _ in $(seq 1 50); do
  [ -e "/tmp/.X11-unix/X${DISPLAY#:}" ] && break
  sleep 0.1
done

mkdir -p "$(dirname "$WINEPREFIX")"
# A prefix made while Wine could not run 32-bit programs has no 32-bit
# system DLLs, and every 32-bit test would fail in it with "could not load
# kernel32.dll": once 32-bit programs can run, such a prefix is made anew.
if [ "$ZPK_WIN32_RUNS" = 1 ] && [ -f "$WINEPREFIX/system.reg" ] &&
   [ ! -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ]; then
  echo "test-session: the Wine prefix $WINEPREFIX has no 32-bit side; making it again"
  "$ZPK_WINESERVER" -k >/dev/null 2>&1
  "$ZPK_WINESERVER" -w >/dev/null 2>&1
  rm -rf "$WINEPREFIX"
fi
# The prefix settings are imported again whenever prefix-setup.reg changes,
# so that an existing prefix follows the repository.
setup_sum=$(sha1sum "$here/prefix-setup.reg" | cut -d' ' -f1)
if [ ! -f "$WINEPREFIX/.zupako-ready" ] || [ "$(cat "$WINEPREFIX/.zupako-ready")" != "$setup_sum" ]; then
  if [ ! -f "$WINEPREFIX/system.reg" ]; then
    echo "test-session: creating the Wine prefix $WINEPREFIX (first use)"
    "$ZPK_WINE" wineboot -i >/dev/null 2>&1
    "$ZPK_WINESERVER" -w
  fi
  # regedit reads UTF-16 .reg files; the one in the repository is UTF-8.
  iconv -f UTF-8 -t UTF-16 "$here/prefix-setup.reg" > "$WINEPREFIX/zupako-setup.reg"
  "$ZPK_WINE" regedit /S "$("$ZPK_WINE" winepath -w "$WINEPREFIX/zupako-setup.reg")" >/dev/null 2>&1
  "$ZPK_WINESERVER" -w
  echo "$setup_sum" > "$WINEPREFIX/.zupako-ready"
fi

"$ZPK_WINESERVER" -p
# Wine starts its background services with the first program of a session,
# and they inherit that program's output. Start them here, without output,
# so that they never hold open a pipe that the test runner waits on.
"$ZPK_WINE" cmd /c exit </dev/null >/dev/null 2>&1
"$@"
