#!/usr/bin/env bash
# Screenshots of the setup program into build/screenshots/: the install
# dialog in its install and uninstall states, the progress window of an
# install and its completion box, and the settings dialog with each action
# of the whole-archive entry selected. The windows run in a private hive and
# a scratch install folder of the test program. Runs itself inside a test
# session.
# With --scale 150 (125 to 200) the same at that screen scale, into
# build/screenshots/scale-150/; with --contrast in a high-contrast scheme,
# into build/screenshots/contrast/ (tools/screenshots/scale.sh).
set -euo pipefail
cd "$(dirname "$0")/../.."
. tools/screenshots/scale.sh
if [ -z "${ZPK_IN_SESSION:-}" ]; then
  exec env ZPK_IN_SESSION=1 tools/test-session.sh "$0" "$@"
fi
zpk_enter_scale
tool=build/win64/tests/test_setup.exe
[ -f "$tool" ] || { echo "build first: $tool is missing" >&2; exit 1; }
out=$shots
for role in show-install show-settings; do
  # The role says when a picture should be taken and then waits.
  tools/wine-run "$tool" --zpk-child-role=$role | while read -r word name; do
    name=${name%$'\r'}
    if [ "$word" = SHOT ]; then
      sleep 0.7
      import -window root "$out/setup-$name.png"
      echo "screenshot: $out/setup-$name.png"
    fi
  done
done
