#!/usr/bin/env bash
# Takes a screenshot of the progress window during a folder compression
# (40 %, a Japanese path shortened to the text line) into
# build/screenshots/progress.png. Runs itself inside a test session.
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${ZPK_IN_SESSION:-}" ]; then
  exec env ZPK_IN_SESSION=1 tools/test-session.sh "$0" "$@"
fi
program=build/win64/tests/test_desktop.exe
[ -f "$program" ] || { echo "build first: $program is missing" >&2; exit 1; }
mkdir -p build/screenshots
tools/wine-run "$program" --zpk-child-role=progress-screenshot 6 &
shown=$!
sleep 3
import -window root build/screenshots/progress.png
wait "$shown"
echo "build/screenshots/progress.png"
