# The screen scale of a screenshot script, sourced by it before it enters
# its test session: "--scale 150" (125, 150, 175 or 200) as the script's
# first argument takes the pictures at that scale. Wine reads the scale
# (HKCU\Control Panel\Desktop\LogPixels) when its session starts, so a scaled
# run has a prefix of its own (build/scaleprefix-150), which keeps the test
# prefix at 100%, and puts its pictures into build/screenshots/scale-150/,
# away from the ones the read-me and the 100% checks use. Inside the session
# zpk_enter_scale sets the scale and restarts Wine's session with it.
# Sets $shots, the folder for the pictures.
if [ "${1:-}" = --scale ]; then
  case "${2:-}" in
    100|125|150|175|200) export ZPK_SCALE=$2 ;;
    *) echo "--scale takes 100, 125, 150, 175 or 200" >&2; exit 2 ;;
  esac
  shift 2
fi
ZPK_SCALE=${ZPK_SCALE:-100}
if [ "$ZPK_SCALE" = 100 ]; then
  shots=build/screenshots
else
  shots=build/screenshots/scale-$ZPK_SCALE
  export ZPK_WINEPREFIX="$PWD/build/scaleprefix-$ZPK_SCALE"
  # The usual screen at that scale, so that what fits at 100% fits here too
  # and the menus hold as many items as they do at 100%.
  export ZPK_SCREEN="$((1280 * ZPK_SCALE / 100))x$((1024 * ZPK_SCALE / 100))x24"
fi
mkdir -p "$shots"

zpk_enter_scale() {
  [ "$ZPK_SCALE" = 100 ] && return 0
  . tools/wine-env.sh
  "$ZPK_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $((ZPK_SCALE * 96 / 100)) /f \
    </dev/null >/dev/null 2>&1
  "$ZPK_WINESERVER" -k >/dev/null 2>&1 || true
  "$ZPK_WINESERVER" -w
  "$ZPK_WINESERVER" -p
  # As at the start of every session: the background services without any
  # output to hold open.
  "$ZPK_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}
