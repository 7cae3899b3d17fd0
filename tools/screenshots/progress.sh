#!/usr/bin/env bash
# Takes a screenshot of the progress window while the engine compresses a
# folder into a new ZIP archive, as the folder menu's "zip" verb does, into
# build/screenshots/progress.png. Runs itself inside a test session.
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
tool=build/win64/tools/arctool.exe
[ -f "$tool" ] || { echo "build first: $tool is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A folder with enough data to keep the window up for a few seconds.
mkdir -p "$work/二〇二四年 夏の旅行/写真"
for i in $(seq 1 40); do
  head -c 3000000 /dev/urandom > "$work/二〇二四年 夏の旅行/写真/富士山の見える湖畔の宿_$i.jpg"
done
tools/wine-run "$tool" compress "Z:${work//\//\\}\\旅行.zip" "Z:${work//\//\\}\\二〇二四年 夏の旅行" &
compressing=$!
timeout 30 xdotool search --sync --name 'zip に圧縮' >/dev/null
sleep 1.5
import -window root $shots/progress.png
wait "$compressing"
echo "$shots/progress.png"
