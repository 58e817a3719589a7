#!/usr/bin/env bash
# Draws the updater's logo (148 x 86, 256 colours) and icon (32 x 32, 16 colours, for Windows
# 16, 24, 32, 48 and 256 pixels and for Linux 16 to 256 pixels in 32-bit colour) with
# ImageMagick. The mark: a location pin sending a signal, beside the product name.
# Run it after changing the drawing; the rendered files are kept beside it.
set -euo pipefail
cd "$(dirname "$0")"

navy='#16355c'
orange='#f28c1e'
pale='#c9d6e6'
# A signal wave around the pin's head (centre 26,31), from 75 to 15 degrees above the right.
wave() {
    awk -v r="$1" 'BEGIN { for (a = -75; a <= -15; a += 10)
        printf "%.1f,%.1f ", 26 + r * cos(a * 3.14159 / 180), 31 + r * sin(a * 3.14159 / 180) }'
}
pin='path "M 26,14 C 15,14 8,22 8,31 C 8,43 26,60 26,60 C 26,60 44,43 44,31 C 44,22 37,14 26,14 Z"'

convert -size 148x86 xc:none \
    -fill "$navy" -draw "rectangle 0,0 147,85" \
    -fill "$orange" -draw "$pin" \
    -fill "$navy" -draw "circle 26,31 26,38" \
    -draw "fill none stroke white stroke-width 3 polyline $(wave 23)" \
    -draw "fill none stroke white stroke-width 3 polyline $(wave 31)" \
    -font DejaVu-Sans-Bold -pointsize 23 -fill "$orange" -draw "text 62,35 'GPS'" \
    -pointsize 20 -fill white -draw "text 62,58 'Ostrel'" \
    -fill "$orange" -draw "rectangle 8,66 139,67" \
    -font DejaVu-Sans -pointsize 11 -fill "$pale" -gravity north -draw "text 0,69 'firmware updater'" \
    -background "$navy" -alpha remove -colors 256 PNG8:logo.png

icon_pin='path "M 16,3 C 9.5,3 5,8 5,13.5 C 5,21 16,30 16,30 C 16,30 27,21 27,13.5 C 27,8 22.5,3 16,3 Z"'
convert -size 32x32 xc:none \
    -fill "$navy" -draw "roundrectangle 0,0 31,31 4,4" \
    -fill "$orange" -draw "$icon_pin" \
    -fill "$navy" -draw "circle 16,13.5 16,18" \
    -colors 16 PNG8:icon.png
# Windows picks the size its scale needs (16 and 32 at 100 %, 24 and 48 at 150 %, 256 for large
# icons): each is drawn at 256 pixels and reduced, in 32-bit colour with its alpha.
convert -size 256x256 xc:none -draw "scale 8,8 fill $navy roundrectangle 0,0 31.9,31.9 4,4" \
    -draw "scale 8,8 fill $orange $icon_pin" \
    -draw "scale 8,8 fill $navy circle 16,13.5 16,18" \
    -define png:exclude-chunks=date,time -define icon:auto-resize=256,48,32,24,16 \
    -depth 8 -type TrueColorAlpha icon.ico
# The Linux menus and software centres pick the icon from the hicolor theme, one file per size:
# the same 256-pixel drawing, reduced.
for size in 16 22 24 32 48 64 128 256; do
    convert -size 256x256 xc:none -draw "scale 8,8 fill $navy roundrectangle 0,0 31.9,31.9 4,4" \
        -draw "scale 8,8 fill $orange $icon_pin" \
        -draw "scale 8,8 fill $navy circle 16,13.5 16,18" \
        -resize "${size}x${size}" -define png:exclude-chunks=date,time -depth 8 \
        PNG32:"hicolor/icon-$size.png"
done
# The Windows window shows the logo from a bitmap resource.
convert logo.png -type Palette -compress none BMP3:logo.bmp
