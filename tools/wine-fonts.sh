# Sourced by the scripts that make wine prefixes. Wine draws the caption
# buttons (minimise, maximise, close) with the Marlett font; Debian's wine
# ships it but does not look for it where it lies, so without this the
# buttons show letters ("0 1 r"). In the prefix's Fonts folder every wine
# process finds it.
quaxel_wine_fonts() {
  local fonts="${WINEPREFIX}/drive_c/windows/Fonts" font
  mkdir -p "${fonts}"
  for font in /usr/share/wine/fonts/marlett.ttf; do
    [ -f "${font}" ] && cp -f "${font}" "${fonts}/"
  done
  return 0
}
