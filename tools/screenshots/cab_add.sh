#!/usr/bin/env bash
# Shows the add dialog (dialog 130) for a cabinet as the "add" verb does
# and saves a screenshot to build/screenshots/cab_add.png. Runs itself
# inside a test session.
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
program=build/win64/tests/test_cab_add.exe
[ -f "$program" ] || { echo "build first: $program is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$work/とても長い名前のフォルダー/その下のフォルダー/さらに下の階層"
cabinet="$work/とても長い名前のフォルダー/その下のフォルダー/さらに下の階層/配布用の資料一式.cab"
echo x > "$work/x.txt"
gcab -c "$cabinet" "$work/x.txt"
tools/wine-run "$program" --zpk-child-role=show-add-dialog "Z:${cabinet//\//\\}" &
shown=$!
timeout 20 xdotool search --sync --name 'cab への追加圧縮' >/dev/null
sleep 1
import -window root $shots/cab_add.png
kill "$shown" 2>/dev/null || true
wait "$shown" 2>/dev/null || true
echo "screenshot: $shots/cab_add.png"
