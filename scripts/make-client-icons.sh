#!/usr/bin/env bash
# Draws the main client's icons with ImageMagick, in the default skin's
# colours (see make-skin-images.sh). The PNGs are committed; run this again
# only to change the look. 156: signed out, 157: signed in, 158: the second
# phase of the new-item blink. Usage: scripts/make-client-icons.sh [folder]
set -euo pipefail

out=${1:-$(dirname "$0")/../client/host/program/icons}
mkdir -p "$out"

blue=#2E7D9A; orange=#F08A24; grey=#90A4AE

# A rounded square with the client's mark: a ring around a lens.
icon() { # file background
  convert -size 48x48 xc:none -fill "$2" -stroke "#00000040" -strokewidth 1 \
    -draw "roundrectangle 1,1 46,46 10,10" \
    -fill none -stroke white -strokewidth 5 -draw "circle 24,24 24,11" \
    -fill white -stroke none -draw "circle 24,24 24,19" \
    -strip "PNG32:$1"
}

icon "$out/OBHost156.png" "$grey"
icon "$out/OBHost157.png" "$blue"
icon "$out/OBHost158.png" "$orange"
