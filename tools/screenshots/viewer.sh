#!/usr/bin/env bash
# Shows the archive menu as a user sees it and saves screenshots to
# build/screenshots/: a ZIP with nested folders and Japanese names
# (viewer_zip.png), a cabinet (viewer_cab.png), a long folder wrapped into
# columns and split into "more" submenus (viewer_columns.png,
# viewer_more.png), and the tooltip of a file and of the whole archive
# (viewer_tooltip_file.png, viewer_tooltip_archive.png), and the window that
# waits for an edit handed to a program that was already running
# (viewer_store_wait.png), and the question about an edit saved after that
# (viewer_pending_edit.png). Runs itself inside a test session.
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
viewer=build/win64/viewer/ZPKMain.exe
tool=build/win64/tools/arctool.exe
launcher=build/win64/tests/viewer_stand_in.exe
for f in "$viewer" "$tool" "$launcher"; do
  [ -f "$f" ] || { echo "build first: $f is missing" >&2; exit 1; }
done
cp build/win64/dist/zlibwapi64.dll build/win64/viewer/
out=$shots
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }

# The sample archives.
src="$work/旅行の記録"
mkdir -p "$src/写真/北海道" "$src/書類" "$src/空のフォルダ"
echo "札幌" > "$src/写真/北海道/札幌駅.jpg"
echo "函館" > "$src/写真/北海道/函館の夜景.jpg"
echo "海" > "$src/写真/海辺.png"
echo "予定" > "$src/書類/旅程表.xlsx"
echo "メモ" > "$src/書類/持ち物リスト.txt"
echo "readme" > "$src/はじめにお読みください.txt"
echo "setup" > "$src/setup.exe"
tools/wine-run "$tool" compress "$(win "$work/旅行.zip")" "$(win "$src")" >/dev/null
(cd "$src/書類" && gcab -c "$work/書類.cab" 旅程表.xlsx 持ち物リスト.txt >/dev/null)
long="$work/long"
mkdir -p "$long/たくさんのファイル"
for i in $(seq -w 1 120); do echo "$i" > "$long/たくさんのファイル/写真_$i.jpg"; done
tools/wine-run "$tool" compress "$(win "$work/long.zip")" "$(win "$long")" >/dev/null
mkdir -p "$work/見積"
echo "見積" > "$work/見積/見積書.xlsx"
tools/wine-run "$tool" compress "$(win "$work/見積.zip")" "$(win "$work/見積")" >/dev/null

settings='HKCU\Software\Marunoko\Zupako'
# Opens the viewer at a point, presses keys, waits, takes a screenshot.
shot() {
  local archive=$1 name=$2 wait=$3
  shift 3
  xdotool mousemove 420 160
  tools/wine-run "$viewer" "$(win "$archive")" &
  local shown=$!
  timeout 30 bash -c 'until xdotool search --onlyvisible --classname "" >/dev/null 2>&1 && \
    [ -n "$(xdotool search --onlyvisible --name "" 2>/dev/null)" ]; do sleep 0.2; done' || true
  sleep 2
  for key in "$@"; do xdotool key "$key"; sleep 0.4; done
  sleep "$wait"
  import -window root "$out/$name.png"
  xdotool key Escape Escape Escape Escape
  sleep 0.5
  kill "$shown" 2>/dev/null || true
  wait "$shown" 2>/dev/null || true
  echo "$out/$name.png"
}

tools/wine-run reg add "$settings" /v MenuOverFlow /t REG_DWORD /d 2 /f >/dev/null
shot "$work/旅行.zip" viewer_zip 0.5 Down Down Right Right Right Down Right
shot "$work/書類.cab" viewer_cab 0.5 Down Down Down
shot "$work/旅行.zip" viewer_tooltip_file 1 Down Down Down Down Down
shot "$work/旅行.zip" viewer_tooltip_archive 1 Down
shot "$work/long.zip" viewer_more 0.5 Down Down Right Up Right
tools/wine-run reg add "$settings" /v MenuOverFlow /t REG_DWORD /d 1 /f >/dev/null
shot "$work/long.zip" viewer_columns 0.5 Down Down Right
tools/wine-run reg delete "$settings" /v MenuOverFlow /f >/dev/null

# A program that ends at once (as one that hands the file to its running
# instance does) opens .xlsx files for this one shot (Wine reads file types
# from HKCR only).
cp "$launcher" "$work/launcher.exe"
classes='HKCR'
tools/wine-run reg add "$classes\.xlsx" /ve /d ZupakoShotLauncher /f >/dev/null
tools/wine-run reg add "$classes\ZupakoShotLauncher\shell\open\command" /ve \
  /d "\"$(win "$work/launcher.exe")\" \"%1\"" /f >/dev/null
shot "$work/見積.zip" viewer_store_wait 2 Down Down Return
# The edit saved after the viewer stopped waiting (here into the copy that
# the store window above was left with) is offered at the next opening.
temp=$(tools/wine-run cmd /c echo %TEMP% 2>/dev/null | tr -d '\r')
copy=$(find "$(tools/wine-run winepath -u "$temp" 2>/dev/null | tr -d '\r')/ZPKWork" -name '見積書.xlsx' | head -1)
echo "金額を修正" >> "$copy"
shot "$work/見積.zip" viewer_pending_edit 1
tools/wine-run reg delete "$classes\.xlsx" /f >/dev/null
tools/wine-run reg delete "$classes\ZupakoShotLauncher" /f >/dev/null
