#!/bin/bash
# Draws the start-up picture: a crow perched on a quill under the moon, with the product's name
# and version. 176 x 200 pixels, baseline JPEG, three colour components.
# Usage: tools/make-splash.sh OUT.jpg
set -euo pipefail
out=${1:?usage: make-splash.sh OUT.jpg}
convert=/usr/bin/convert
font=DejaVu-Sans-Bold
"$convert" -size 176x200 gradient:'#1d2b53'-'#6394c6' \
  -fill '#f4eec8' -stroke none -draw 'circle 136,38 136,54' \
  -fill '#e6dfb0' -draw 'circle 131,34 131,37' -draw 'circle 141,44 141,46' \
  -stroke '#e8e2c0' -strokewidth 2 -draw 'line 26,134 166,88' \
  -stroke none -fill '#e8e2c0' -draw 'polygon 110,106 130,92 168,86 150,100 120,108' \
  -fill '#101018' -draw 'ellipse 88,92 30,17 0,360' \
  -draw 'circle 112,74 112,86' \
  -draw 'polygon 120,70 138,76 120,80' \
  -draw 'polygon 62,88 30,112 66,102' \
  -draw 'polygon 80,104 78,118 82,118 86,106' \
  -draw 'polygon 94,104 96,116 100,116 100,104' \
  -fill '#f4eec8' -draw 'circle 115,72 115,74' \
  -font "$font" -fill white -pointsize 24 -gravity north -annotate +0+140 'Pennacrow' \
  -font "$font" -fill '#f4eec8' -pointsize 16 -annotate +0+172 '2.0' \
  -colorspace sRGB -type TrueColor -interlace none -sampling-factor 2x2 -quality 90 \
  -strip "jpeg:$out"
