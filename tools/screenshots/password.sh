#!/usr/bin/env bash
# Shows the password dialog as a user first meets it and after a wrong
# password, and saves screenshots of the screen to build/screenshots/.
# Runs itself inside a test session.
# --scale and --contrast as in tools/screenshots/scale.sh.
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/screenshots/scale.sh
if [ -z "${ZPK_IN_SESSION:-}" ]; then
  exec env ZPK_IN_SESSION=1 tools/test-session.sh "$0" "$@"
fi
zpk_enter_scale
out=$shots
for state in first wrong; do
  tools/wine-run build/win64/tests/test_common.exe --zpk-child-role=password-dialog $state &
  shown=$!
  timeout 20 xdotool search --sync --name 'Zupako' >/dev/null
  sleep 1
  # Something typed, as the field shows it.
  xdotool type --delay 50 'secret'
  sleep 0.5
  import -window root "$out/password-$state.png"
  kill "$shown" 2>/dev/null || true
  wait "$shown" 2>/dev/null || true
  echo "screenshot: $out/password-$state.png"
done
