#!/usr/bin/env bash
# Makes the 13 pictures of the read-me from the programs themselves, running
# under Xvfb, and copies them into resources/image/. Zupako is unpacked into
# a folder of a Wine prefix of its own (build/pictureprefix, made anew each
# time), installed through its install dialog, and then used as a user would:
# folders compressed by the registered verbs, archives opened as menus, files
# dropped onto a ZIP file through the drop handler library, the empty cabinet
# of the New menu opened, the settings dialog shown. Each picture is cut to
# the windows on the screen (window_picture.py). Runs itself inside a test
# session; the pictures are looked at before they are committed.
# usage: tools/screenshots/readme-pictures.sh   (after tools/build.sh)
set -euo pipefail
cd "$(dirname "$0")/../.."
if [ -z "${ZPK_IN_SESSION:-}" ]; then
  # A real install writes the shell registration of the current user; it
  # goes into a prefix of its own, never into the one the tests share.
  export ZPK_WINEPREFIX="$PWD/build/pictureprefix"
  rm -rf "$ZPK_WINEPREFIX"
  # The prefix's user folder (seen in the settings dialog) is named after
  # this, not after whoever builds.
  export USER=user LOGNAME=user
  exec env ZPK_IN_SESSION=1 tools/test-session.sh "$0" "$@"
fi
. tools/wine-env.sh
setup=build/win64/setup/bin/ZPKSet.exe
viewer=build/win64/viewer/ZPKMain.exe
host=build/win64/tests/drop_host.exe
for f in "$setup" "$viewer" "$host" build/win64/dist/ZPKShlEx64.dll build/win64/dist/zlibwapi64.dll; do
  [ -f "$f" ] || { echo "build first: $f is missing" >&2; exit 1; }
done
out=build/screenshots/readme
rm -rf "$out"
mkdir -p "$out"
drive="$WINEPREFIX/drive_c"
win() { "$ZPK_WINE" winepath -w "$1" 2>/dev/null; }
picture() { python3 tools/screenshots/window_picture.py "$out/$1.png"; }
key() { for k in "$@"; do xdotool key "$k"; sleep 0.4; done; }
# Waits until a window whose title matches is on the screen.
# (A window may go away while xdotool looks at it; it then looks again.)
wait_window() {
  for _ in $(seq 1 300); do
    xdotool search --onlyvisible --name "$1" >/dev/null 2>&1 && return 0
    sleep 0.2
  done
  echo "no window \"$1\" came" >&2
  return 1
}
# Waits until a popup menu (a top-level window without a title) is shown.
wait_menu() { python3 tools/screenshots/window_picture.py --wait-menu; }
# Runs a program to its end.
run() { "$ZPK_WINE" "$@" </dev/null >/dev/null 2>&1; }
# Starts a program in the background; $running is its process.
start() {
  "$ZPK_WINE" "$@" </dev/null >/dev/null 2>&1 &
  running=$!
}
# Ends the program started last, which waits for a user who has finished
# looking.
finish() { kill "$running" 2>/dev/null || true; wait "$running" 2>/dev/null || true; }

# The package as unpacked by a user: the programs of this machine's width
# (the 32-bit ones cannot run everywhere), the libraries, the read-me. The
# installer checks that every file of the package is there; what is not
# built or made yet (the 32-bit libraries, the pictures) is an empty file
# for that check.
install="$drive/ツール/Zupako"
mkdir -p "$install/image"
cp "$setup" "$viewer" build/win64/dist/ZPKShlEx64.dll build/win64/dist/zlibwapi64.dll "$install/"
for name in ZPKShlEx32.dll zlibwapi32.dll; do
  if [ -f "build/win32/dist/$name" ]; then cp "build/win32/dist/$name" "$install/"; else touch "$install/$name"; fi
done
cp resources/ReadMe.htm "$install/"
for name in cabadd compress ddmenu delete extract fcompress install menu new preview setting uninst whole; do
  touch "$install/image/$name.png"
done

# The user's files: a folder of travel notes and photographs.
data="$drive/資料"
trip="$data/旅行の記録"
mkdir -p "$trip/写真/北海道" "$trip/写真/沖縄" "$trip/書類"
for name in 札幌駅 函館の夜景 小樽運河 旭山動物園; do
  head -c 6000000 /dev/urandom > "$trip/写真/北海道/$name.jpg"
done
for name in 首里城 美ら海水族館 古宇利島; do
  head -c 6000000 /dev/urandom > "$trip/写真/沖縄/$name.jpg"
done
printf '1日目 新千歳空港\r\n2日目 小樽\r\n' > "$trip/書類/旅程表.txt"
printf '着替え\r\n充電器\r\n' > "$trip/書類/持ち物リスト.txt"
head -c 80000 /dev/urandom > "$trip/書類/宿の予約.pdf"
printf 'この旅行の記録です。\r\n' > "$trip/はじめにお読みください.txt"
head -c 300000 /dev/urandom > "$trip/地図.png"

# Windows knows .zip and .cab as file types of its own; a new Wine prefix
# does not, and install registers its menu verb under those types.
"$ZPK_WINE" reg add 'HKCU\Software\Classes\.zip' /ve /d CompressedFolder /f >/dev/null 2>&1
"$ZPK_WINE" reg add 'HKCU\Software\Classes\.cab' /ve /d CABFolder /f >/dev/null 2>&1

# 1. Install: the dialog in both states, then the install itself, whose
# closing message is answered.
start "$install/ZPKSet.exe"
wait_window 'のインストール'
sleep 1.5
picture install
# The focus starts in the folder field; back to the radio buttons.
key shift+Tab Down
picture uninst
key Up Return
wait_window '^Zupako$'
while kill -0 "$running" 2>/dev/null; do
  sleep 0.5
  if xdotool search --onlyvisible --name '^Zupako$' >/dev/null 2>&1; then xdotool key Return; fi
done
wait "$running"

# 2. The settings dialog as the install left it.
start "$install/ZPKSet.exe" set
wait_window 'Zupako の設定'
sleep 1.5
picture setting
finish

# 3. The folder verbs: ZIP and CAB compression of the folder, by the
# command lines that install registered for the folder menu.
folder=$(win "$trip")
start "$install/ZPKSet.exe" zipcompress "$folder"
wait_window 'zip に圧縮'
sleep 0.2
picture fcompress
wait "$running"
start "$install/ZPKSet.exe" cabcompress "$folder"
wait_window 'cab に圧縮'
sleep 1
picture compress
wait "$running"
zip="$data/旅行の記録.zip"
cab="$data/旅行の記録.cab"
[ -f "$zip" ] && [ -f "$cab" ] || { echo "compression made no archive" >&2; exit 1; }

# 4. The archive as a menu, opened like the registered menu verb does.
# The mouse stays at the top left, on a menu's corner at most, so that only
# the keys move the highlight and a menu opens with room to its right.
away() { xdotool mousemove 60 60; }
# Opens the viewer at the mouse, presses keys, waits, takes a picture.
menu_picture() {
  local archive=$1 name=$2 wait=$3
  shift 3
  away
  start "$install/ZPKMain.exe" "$(win "$archive")"
  wait_menu
  sleep 1
  key "$@"
  sleep "$wait"
  picture "$name"
  key Escape Escape Escape Escape
  finish
}
# The photographs' folder opened, a photograph highlighted with its details.
menu_picture "$zip" menu 1.5 Down Down Right Down Right Down
# The whole-archive entry with the archive's details.
menu_picture "$zip" whole 1.5 Down
# A file highlighted: Space would hand it to the file manager's preview.
menu_picture "$zip" preview 0.2 Down Down Down Right Down Down

# An entry deleted with the Delete key is left blank in the menu. A copy,
# since the deletion is written when the menu closes.
cp "$zip" "$data/削除の例.zip"
menu_picture "$data/削除の例.zip" delete 0.5 Down Down Down Down Down Delete Down

# An entry dragged out of the menu: pressed and moved by the mouse, it is
# extracted and handed to the drag, which Escape then cancels. The root
# menu's items are 19 pixels high, separators 9, under a 3-pixel frame; the
# fourth item, a file, is pressed.
away
start "$install/ZPKMain.exe" "$(win "$zip")"
wait_menu
sleep 1
read -r mx my < <(xwininfo -root -children | sed -n 's/.*(has no name): ("zpkmain.exe".* +\([0-9]*\)+\([0-9]*\)$/\1 \2/p' | head -1)
xdotool mousemove $((mx + 60)) $((my + 78))
sleep 0.5
xdotool mousedown 1
sleep 0.3
for step in 1 2 3 4 5 6; do xdotool mousemove $((mx + 60 + step * 20)) $((my + 78 + step * 12)); sleep 0.2; done
sleep 1.5
picture extract
# The dragged entry is in the work folder while the drag lasts.
find "$drive/users" -path '*ZPKWork*' -type f -printf '  dragged: %f\n'
xdotool key Escape
xdotool mouseup 1
key Escape Escape
finish

# 5. Files dropped onto the ZIP file: the drop handler library, loaded and
# given the drop as the shell does, shows the archive's folders.
echo "dropped" > "$data/追加するメモ.txt"
cat > "$data/drop.txt" <<SCRIPT
library $(win "$install/ZPKShlEx64.dll")
install $(win "$install")
overflow 2
cursor 60 60
archive $(win "$zip")
menu down,down,pause,pause,escape
drop $(win "$data/追加するメモ.txt")
go
SCRIPT
start "$host" "$(win "$data/drop.txt")"
wait_menu
sleep 1.5
picture ddmenu
wait "$running"

# 6. The New menu's cabinet: the empty cabinet that install registered as
# the New menu's data, under the name of that menu's entry, opened like any
# cabinet. The viewer hands an empty cabinet to the add dialog.
new="$data/新しい圧縮された (CAB) フォルダー.cab"
"$ZPK_WINE" reg query 'HKCU\Software\Classes\.cab\ShellNew' /v Data 2>/dev/null |
  python3 -c 'import sys, re
hexes = re.search(r"REG_BINARY\s+([0-9A-Fa-f]+)", sys.stdin.read()).group(1)
open(sys.argv[1], "wb").write(bytes.fromhex(hexes))' "$new"
run "$install/ZPKMain.exe" "$(win "$new")"
wait_window 'cab への追加圧縮'
sleep 1.5
picture new
key Escape
sleep 1

# 7. The CAB add dialog from the cabinet's menu, after the folder
# "写真" was chosen from the folder menu of its path button.
away
start "$install/ZPKMain.exe" "$(win "$cab")"
wait_menu
sleep 1
key Down Down Return
finish
wait_window 'cab への追加圧縮'
sleep 1
key alt+p
wait_menu
sleep 0.5
key Down Down Return
sleep 1
picture cabadd
key Escape
sleep 1

mkdir -p resources/image
cp "$out"/*.png resources/image/
ls -l resources/image/
