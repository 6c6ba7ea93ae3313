#!/usr/bin/env bash
# Draws the default skin's images with ImageMagick. The PNGs are committed;
# run this again only to change the look. Usage: scripts/make-skin-images.sh [skin folder]
set -euo pipefail

out=${1:-$(dirname "$0")/../skins/other}
mkdir -p "$out/img" "$out/new"
cd "$out"

# Colours of the default skin.
blue=#2E7D9A; blue_hot=#3C97B8; blue_down=#235F76; grey=#B9C3CA
orange=#F08A24; orange_hot=#F6A04B; orange_down=#C96F15
white=#FFFFFF; ink=#37474F
font=DejaVu-Sans-Bold
# The labels the user reads are Chinese, like the rest of the windows.
cjk_font=/usr/share/fonts/opentype/noto/NotoSansCJK-Bold.ttc

# A four-state button sprite (normal, hot, pushed, disabled), each w x h.
button_sprite() { # name w h normal hot pushed disabled
  local name=$1 w=$2 h=$3; shift 3
  local parts=() i=0
  for c in "$@"; do
    convert -size "${w}x${h}" xc:none -fill "$c" -stroke "#00000030" \
      -draw "roundrectangle 0,0 $((w - 1)),$((h - 1)) 4,4" "/tmp/skinpart_$i.png"
    parts+=("/tmp/skinpart_$i.png"); i=$((i + 1))
  done
  convert "${parts[@]}" +append "$name"
  rm -f "${parts[@]}"
}

button_sprite btn.png 80 26 "$blue" "$blue_hot" "$blue_down" "$grey"
button_sprite btn_accent.png 80 26 "$orange" "$orange_hot" "$orange_down" "$grey"
button_sprite tab.png 90 28 "#DDE6EB" "#EAF1F4" "#C9D6DD" "$white"

# Caption buttons: close and minimise, three states each, 16 x 16.
caption_glyph() { # out colour background draw
  convert -size 16x16 xc:none -fill "$2" -draw "roundrectangle 0,0 15,15 3,3" \
    -stroke white -strokewidth 2 -draw "$3" "$1"
}
caption_glyph /tmp/c0.png none "line 4,4 11,11 line 11,4 4,11"
caption_glyph /tmp/c1.png "#E0524A" "line 4,4 11,11 line 11,4 4,11"
caption_glyph /tmp/c2.png "#A8352E" "line 4,4 11,11 line 11,4 4,11"
caption_glyph /tmp/m0.png none "line 4,11 11,11"
caption_glyph /tmp/m1.png "#FFFFFF40" "line 4,11 11,11"
caption_glyph /tmp/m2.png "#00000040" "line 4,11 11,11"
convert /tmp/c0.png /tmp/c1.png /tmp/c2.png +append close.png
convert /tmp/m0.png /tmp/m1.png /tmp/m2.png +append min.png
rm -f /tmp/c?.png /tmp/m?.png

# Check box and radio: unchecked, checked; 16 x 16.
convert -size 16x16 xc:none -fill white -stroke "$ink" -draw "rectangle 1,1 14,14" /tmp/k0.png
convert /tmp/k0.png -stroke "$blue" -strokewidth 2 -fill none -draw "polyline 4,8 7,11 12,4" /tmp/k1.png
convert /tmp/k0.png /tmp/k1.png +append check.png
convert -size 16x16 xc:none -fill white -stroke "$ink" -draw "circle 8,8 8,1" /tmp/r0.png
convert /tmp/r0.png -fill "$blue" -stroke none -draw "circle 8,8 8,4" /tmp/r1.png
convert /tmp/r0.png /tmp/r1.png +append radio.png
rm -f /tmp/k?.png /tmp/r?.png

# Spin arrows: up and down, normal and hot, 14 x 10.
convert -size 14x10 xc:"#DDE6EB" -fill "$ink" -draw "polygon 3,7 7,2 11,7" /tmp/u0.png
convert -size 14x10 xc:"#C9D6DD" -fill "$blue" -draw "polygon 3,7 7,2 11,7" /tmp/u1.png
convert /tmp/u0.png -flip /tmp/d0.png
convert /tmp/u1.png -flip /tmp/d1.png
convert /tmp/u0.png /tmp/u1.png +append spin_up.png
convert /tmp/d0.png /tmp/d1.png +append spin_down.png
rm -f /tmp/u?.png /tmp/d?.png

# The removable mark of a picture button: a red disc with a white cross in
# its top-left 16 x 16, on a 26 x 25 canvas.
convert -size 26x25 xc:none -fill "#D9433A" -draw "circle 8,8 8,1" \
  -stroke white -strokewidth 2 -draw "line 5,5 11,11 line 11,5 5,11" close_hover.png

# The default head image and the verified badge.
convert -size 48x48 xc:"#CFD8DC" -fill "#90A4AE" -draw "circle 24,18 24,9" \
  -draw "ellipse 24,48 17,15 180,360" img_t.png
convert -size 12x12 xc:none -fill "$orange" -draw "circle 6,6 6,0" \
  -stroke white -strokewidth 1.5 -draw "polyline 3,6 5,8 9,4" verify.png

# Tool glyphs (24 x 24, normal and hot): menu, settings, album, keys, search,
# events, feedback, topic, screenshot.
glyph() { # out draw
  convert -size 24x24 xc:none -stroke white -strokewidth 2 -fill none -draw "$2" /tmp/g0.png
  convert -size 24x24 xc:"#FFFFFF30" -stroke white -strokewidth 2 -fill none -draw "$2" /tmp/g1.png
  convert /tmp/g0.png /tmp/g1.png +append "$1"
}
glyph tool_menu.png "line 5,7 19,7 line 5,12 19,12 line 5,17 19,17"
glyph tool_conf.png "circle 12,12 12,6 line 12,2 12,5 line 12,19 12,22 line 2,12 5,12 line 19,12 22,12"
glyph tool_album.png "rectangle 4,6 20,18 polyline 6,16 10,11 13,14 16,10 19,16"
glyph tool_key.png "circle 8,12 8,8 line 12,12 20,12 line 17,12 17,16"
glyph tool_search.png "circle 10,10 10,5 line 14,14 20,20"
glyph tool_event.png "rectangle 4,6 20,19 line 4,10 20,10 line 8,3 8,8 line 16,3 16,8"
glyph tool_feedback.png "roundrectangle 4,5 20,16 3,3 polyline 8,16 8,20 12,16"
glyph tool_topic.png "line 9,4 7,20 line 16,4 14,20 line 4,9 20,9 line 4,15 20,15"
glyph tool_shot.png "rectangle 3,7 21,19 circle 12,13 12,9 line 8,7 10,4 line 10,4 14,4 line 14,4 16,7"
rm -f /tmp/g?.png

# The progress animation of the login window: eight frames of a dot ring.
for i in 0 1 2 3 4 5 6 7; do
  args=()
  for j in 0 1 2 3 4 5 6 7; do
    a=$(awk -v j=$j 'BEGIN { printf "%.2f", j * 3.14159265 / 4 }')
    x=$(awk -v a=$a 'BEGIN { printf "%d", 20 + 13 * cos(a) }')
    y=$(awk -v a=$a 'BEGIN { printf "%d", 20 + 13 * sin(a) }')
    if [ $(((j - i + 8) % 8)) -eq 0 ]; then c=$orange; else c="#B0BEC5"; fi
    args+=(-fill "$c" -draw "circle $x,$y $((x + 3)),$y")
  done
  convert -size 40x40 xc:none "${args[@]}" "loading_$i.png"
done

# Word marks.
convert -size 160x40 xc:none -font "$font" -pointsize 26 -fill "$blue" \
  -gravity center -annotate +0+0 "Ombrix" logo.png
convert -size 90x22 xc:none -font "$font" -pointsize 14 -fill white \
  -gravity west -annotate +0+0 "Ombrix" logo_small.png

# Hot background of a friend tile, behind a user button.
convert -size 120x70 xc:"#E3F1F7" -fill none -stroke "$blue_hot" \
  -draw "rectangle 0,0 119,69" tile_hot.png

# Background of the main window's search view.
convert -size 320x680 gradient:"#2E7D9A"-"#E8F1F5" new/search.jpg

# The picture browser's sprite: a 766 x 600 background at (115, 172) and the
# buttons at the places the picture windows take them from.
convert -size 881x772 xc:none \
  -fill "#F4F7F9" -stroke "$blue" -draw "rectangle 115,172 880,771" \
  -fill "$blue" -stroke none -draw "rectangle 115,172 880,197" \
  -font "$font" -pointsize 13 -fill white -annotate +125+189 "Ombrix" \
  -fill "#7FA9BA" -draw "rectangle 7,3 19,13" -fill "#E0524A" -draw "rectangle 7,21 19,31" \
  -stroke white -strokewidth 1.5 -draw "line 9,5 17,11 line 17,5 9,11 line 9,23 17,29 line 17,23 9,29" \
  -stroke none \
  -fill "$blue" -draw "roundrectangle 9,85 65,112 4,4 roundrectangle 75,85 131,112 4,4" \
  -draw "roundrectangle 141,85 197,112 4,4 roundrectangle 209,85 265,112 4,4" \
  -fill "$blue_hot" -draw "roundrectangle 9,117 65,144 4,4 roundrectangle 75,117 131,144 4,4" \
  -draw "roundrectangle 141,117 197,144 4,4 roundrectangle 209,117 265,144 4,4" \
  -fill "#DDE6EB" -draw "roundrectangle 30,0 81,36 4,4" \
  -fill white -font "$cjk_font" -pointsize 12 \
  -annotate +25+103 "打开" -annotate +25+135 "打开" \
  -annotate +91+103 "取消" -annotate +91+135 "取消" \
  -annotate +157+103 "选择" -annotate +157+135 "选择" \
  -annotate +225+103 "删除" -annotate +225+135 "删除" \
  -fill "$ink" -annotate +43+23 "返回" \
  img/photobg.png

# The arrow under the second tip of the main window.
convert -size 16x10 xc:none -fill "#F08A24" -draw "polygon 0,0 16,0 8,10" tip_arrow.png
