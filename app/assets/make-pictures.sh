#!/usr/bin/env bash
# Makes the window's pictures with ImageMagick: the splash picture (448 x 291), the header
# picture (281 x 81), the picture below the page buttons (201 x 64) and the program's icon (16 x 16
# for the notification area, 48 x 48 and 256 x 256 for the desktop). The pictures are committed;
# run this only to change them. Needs ImageMagick 6 and the DejaVu fonts.
set -euo pipefail
cd "$(dirname "$0")"
IM=convert
command -v convert-im6.q16 >/dev/null && IM=convert-im6.q16

# A band of three waves in lighter blues across a picture `w` wide and `h` high, from height `y`.
waves=()
make_waves() {
  local w=$1 h=$2 y=$3 q=$(($1 / 4))
  waves=(
    -fill '#2f7fc1' -draw "path 'M 0,$y Q $q,$((y - 18)) $((2 * q)),$y T $w,$y L $w,$h L 0,$h Z'"
    -fill '#5aa6dc' -draw "path 'M 0,$((y + 14)) Q $q,$((y + 30)) $((2 * q)),$((y + 14)) T $w,$((y + 14)) L $w,$h L 0,$h Z'"
    -fill '#9fd0f0' -draw "path 'M 0,$((y + 30)) Q $q,$((y + 16)) $((2 * q)),$((y + 30)) T $w,$((y + 30)) L $w,$h L 0,$h Z'"
  )
}

make_waves 448 291 212
"$IM" -size 448x291 gradient:'#0b2a57-#1d5fa0' "${waves[@]}" \
  -fill '#ffffff' -font DejaVu-Sans-Bold -pointsize 32 -annotate +28+74 'Tidewell' \
  -fill '#cfe6fa' -font DejaVu-Sans -pointsize 20 -annotate +30+104 'Registry Cleaner 2006' \
  -stroke '#9fd0f0' -strokewidth 2 -draw 'line 30,120 300,120' -stroke none \
  -fill '#e6f2fc' -font DejaVu-Sans -pointsize 13 \
  -annotate +30+148 'Finds broken registry entries, fixes them with an undo' \
  -annotate +30+166 'record, and keeps full backups of your registry.' \
  -fill '#0b2a57' -font DejaVu-Sans-Bold -pointsize 11 -annotate +30+280 'Loading...' \
  -quality 92 splash.jpg

make_waves 281 81 62
"$IM" -size 81x281 gradient:'#0b2a57-#1d5fa0' -rotate 90 "${waves[@]}" \
  -fill '#ffffff' -font DejaVu-Sans-Bold -pointsize 24 -annotate +12+32 'Tidewell' \
  -fill '#cfe6fa' -font DejaVu-Sans -pointsize 12 -annotate +14+50 'Registry Cleaner 2006' \
  -quality 92 header.jpg

"$IM" -size 201x64 gradient:'#ffffff-#dcecf8' \
  -fill '#1d5fa0' -font DejaVu-Sans-Bold -pointsize 12 -annotate +10+26 'Tidewell on the web' \
  -fill '#2f7fc1' -font DejaVu-Sans -pointsize 10 -annotate +10+44 'Updates, tips and support' \
  -stroke '#9fd0f0' -strokewidth 1 -fill none -draw 'rectangle 0,0 200,63' \
  -quality 92 weblink.jpg

# The icon: the letter T above the same three waves, in 24-bit colour.
"$IM" -size 256x256 gradient:'#0b2a57-#1d5fa0' \
  -fill '#2f7fc1' -draw "path 'M 0,160 Q 64,120 128,160 T 256,160 L 256,256 L 0,256 Z'" \
  -fill '#5aa6dc' -draw "path 'M 0,190 Q 64,225 128,190 T 256,190 L 256,256 L 0,256 Z'" \
  -fill '#9fd0f0' -draw "path 'M 0,222 Q 64,195 128,222 T 256,222 L 256,256 L 0,256 Z'" \
  -fill white -font DejaVu-Sans-Bold -pointsize 170 -gravity north -annotate +0-6 'T' \
  -depth 8 -type TrueColor PNG24:icon-256.png
for size in 16 48; do
  "$IM" icon-256.png -resize "${size}x${size}" -type TrueColor "PNG24:icon-$size.png"
done

identify splash.jpg header.jpg weblink.jpg icon-16.png icon-48.png icon-256.png
