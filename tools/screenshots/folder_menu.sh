#!/usr/bin/env bash
# Drops a file onto a ZIP archive with many folders through the drop
# handler library and takes a screenshot of the folder menu in each
# overflow mode (0 one scrolling column, 1 columns, 2 "more" submenus,
# with the first "more" opened) into build/screenshots/folder_menu_N.png.
# Runs itself inside a test session.
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
host=build/win64/tests/drop_host.exe
library=build/win64/dist/ZPKShlEx64.dll
[ -f "$host" ] && [ -f "$library" ] || { echo "build first: $host or $library is missing" >&2; exit 1; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
win() { echo "Z:${1//\//\\}"; }
mkdir -p "$work/install"
cp build/win64/dist/zlibwapi64.dll "$work/install/"
# Names in the ANSI code page, as a Japanese Windows archiver writes them:
# files named in Shift-JIS bytes, stored by the zip tool as they are.
python3 - "$work" <<'PY'
import os, sys
root = os.path.join(sys.argv[1], "tree").encode()
def make(name):
    path = os.path.join(root, name.encode("cp932"))
    os.makedirs(os.path.dirname(path), exist_ok=True)
    with open(path, "wb") as f:
        f.write(b"memo")
for i in range(1, 131):
    make("資料_%03d/memo.txt" % i)
make("写真/2024年/夏/a.txt")
PY
(cd "$work/tree" && zip -q -r ../旅行の記録.zip .)
echo "dropped" > "$work/dropped.txt"
for mode in 0 1 2; do
  cp "$work/旅行の記録.zip" "$work/arc$mode.zip"
  case $mode in
    2) keys="up,pause,right,pause,escape,escape" ;;
    *) keys="down,down,pause,escape" ;;
  esac
  cat > "$work/script$mode.txt" <<SCRIPT
library $(win "$PWD/$library")
install $(win "$work/install")
overflow $mode
cursor 40 30
archive $(win "$work/arc$mode.zip")
menu $keys
drop $(win "$work/dropped.txt")
go
SCRIPT
  tools/wine-run "$host" "$(win "$work/script$mode.txt")" > "$work/out$mode.txt" &
  running=$!
  sleep 3.5
  import -window root "$shots/folder_menu_$mode.png"
  if [ "$mode" = 2 ]; then
    # The first "more" submenu, opened from the last entry.
    sleep 1.2
    import -window root "$shots/folder_menu_2_more.png"
  fi
  wait "$running"
  cat "$work/out$mode.txt"
  echo "$shots/folder_menu_$mode.png"
done
