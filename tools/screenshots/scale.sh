# The screen settings of a screenshot script, sourced by it before it enters
# its test session. Its first arguments may be:
#   --scale 150   (125, 150, 175 or 200) the pictures at that screen scale;
#   --contrast    the pictures in a high-contrast scheme (white text on
#                 black, a purple highlight), set as Windows sets one: the
#                 colours under HKCU\Control Panel\Colors, the
#                 high-contrast flag, and no visual styles.
# Wine reads both when its session starts, so such a run has a prefix of its
# own (build/scaleprefix-150, build/contrastprefix), which keeps the test
# prefix as it is, and puts its pictures into build/screenshots/scale-150/ or
# build/screenshots/contrast/, away from the ones the read-me and the
# ordinary checks use. Inside the session zpk_enter_scale sets them and
# restarts Wine's session with them.
# Sets $shots, the folder for the pictures.
while [ $# -gt 0 ]; do
  case "$1" in
    --scale)
      case "${2:-}" in
        100|125|150|175|200) export ZPK_SCALE=$2 ;;
        *) echo "--scale takes 100, 125, 150, 175 or 200" >&2; exit 2 ;;
      esac
      shift 2 ;;
    --contrast) export ZPK_CONTRAST=1; shift ;;
    *) break ;;
  esac
done
ZPK_SCALE=${ZPK_SCALE:-100}
ZPK_CONTRAST=${ZPK_CONTRAST:-0}
if [ "$ZPK_CONTRAST" = 1 ]; then
  shots=build/screenshots/contrast
  export ZPK_WINEPREFIX="$PWD/build/contrastprefix"
elif [ "$ZPK_SCALE" = 100 ]; then
  shots=build/screenshots
else
  shots=build/screenshots/scale-$ZPK_SCALE
  export ZPK_WINEPREFIX="$PWD/build/scaleprefix-$ZPK_SCALE"
  # The usual screen at that scale, so that what fits at 100% fits here too
  # and the menus hold as many items as they do at 100%.
  export ZPK_SCREEN="$((1280 * ZPK_SCALE / 100))x$((1024 * ZPK_SCALE / 100))x24"
fi
mkdir -p "$shots"

# Windows' classic "High Contrast Black".
zpk_contrast_colours=(
  "Background=0 0 0" "Window=0 0 0" "WindowText=255 255 255" "WindowFrame=255 255 255"
  "Menu=0 0 0" "MenuBar=0 0 0" "MenuText=255 255 255" "MenuHilight=128 0 128"
  "Hilight=128 0 128" "HilightText=255 255 255" "GrayText=0 255 0" "HotTrackingColor=128 128 255"
  "ButtonFace=0 0 0" "ButtonText=255 255 255" "ButtonShadow=128 128 128" "ButtonHilight=255 255 255"
  "ButtonLight=192 192 192" "ButtonDkShadow=255 255 255" "ButtonAlternateFace=0 0 0"
  "InfoWindow=0 0 0" "InfoText=255 255 255" "AppWorkspace=0 0 0" "Scrollbar=0 0 0"
  "ActiveTitle=128 0 128" "GradientActiveTitle=128 0 128" "TitleText=255 255 255"
  "InactiveTitle=0 128 0" "GradientInactiveTitle=0 128 0" "InactiveTitleText=255 255 255"
  "ActiveBorder=255 255 0" "InactiveBorder=255 255 255"
)

zpk_enter_scale() {
  [ "$ZPK_SCALE" = 100 ] && [ "$ZPK_CONTRAST" = 0 ] && return 0
  . tools/wine-env.sh
  if [ "$ZPK_SCALE" != 100 ]; then
    "$ZPK_WINE" reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d $((ZPK_SCALE * 96 / 100)) /f \
      </dev/null >/dev/null 2>&1
  fi
  if [ "$ZPK_CONTRAST" = 1 ]; then
    local pair
    for pair in "${zpk_contrast_colours[@]}"; do
      "$ZPK_WINE" reg add 'HKCU\Control Panel\Colors' /v "${pair%%=*}" /d "${pair#*=}" /f </dev/null >/dev/null 2>&1
    done
    # HCF_HIGHCONTRASTON and the flags Windows sets with it.
    "$ZPK_WINE" reg add 'HKCU\Control Panel\Accessibility\HighContrast' /v Flags /d 127 /f </dev/null >/dev/null 2>&1
    "$ZPK_WINE" reg add 'HKCU\Control Panel\Accessibility\HighContrast' /v 'High Contrast Scheme' \
      /d 'High Contrast Black' /f </dev/null >/dev/null 2>&1
    # Windows draws a high-contrast scheme without visual styles; Wine's
    # light theme would otherwise keep its own colours for buttons and group
    # captions.
    "$ZPK_WINE" reg add 'HKCU\Software\Microsoft\Windows\CurrentVersion\ThemeManager' /v ThemeActive /d 0 /f \
      </dev/null >/dev/null 2>&1
  fi
  "$ZPK_WINESERVER" -k >/dev/null 2>&1 || true
  "$ZPK_WINESERVER" -w
  "$ZPK_WINESERVER" -p
  # As at the start of every session: the background services without any
  # output to hold open.
  "$ZPK_WINE" cmd /c exit </dev/null >/dev/null 2>&1
}
