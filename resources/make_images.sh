#!/bin/sh
# Redraws the window's two images with ImageMagick and IPA P Mincho
# (fonts-ipafont-mincho). The PNGs are committed; run this only to change them.
#   icon_128.png   application icon, 32 x 32, 16 colours: a bar chart
#   bitmap_137.png image button, 95 x 33, 256 colours: the product name
set -eu
cd "$(dirname "$0")"
font=$(fc-match -f '%{file}' 'IPAPMincho')

convert -size 32x32 xc:none \
  -fill '#1d3557' -draw 'roundrectangle 0,0 31,31 6,6' \
  -fill '#f1faee' -draw 'rectangle 6,25 26,26' \
  -fill '#a8dadc' -draw 'rectangle 7,16 11,24' \
  -fill '#ffd166' -draw 'rectangle 14,10 18,24' \
  -fill '#ef476f' -draw 'rectangle 21,5 25,24' \
  -colors 16 -strip PNG8:icon_128.png

convert -size 95x33 gradient:'#f1faee'-'#a8dadc' \
  -fill '#1d3557' -draw 'rectangle 0,0 94,1' -draw 'rectangle 0,31 94,32' \
  -fill '#ef476f' -draw 'rectangle 4,20 6,27' \
  -fill '#ffd166' -draw 'rectangle 8,14 10,27' \
  -fill '#1d3557' -draw 'rectangle 12,8 14,27' \
  -font "$font" -pointsize 13 -fill '#1d3557' \
  -annotate +19+22 'ヴェスパリン' \
  -colors 256 -strip PNG8:bitmap_137.png
