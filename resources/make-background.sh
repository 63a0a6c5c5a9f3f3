#!/usr/bin/env bash
# Paints the update window's background: a blue cloudy sky with a light flare at the upper
# left and the product name in large multicoloured letters at the lower right.
# Usage: make-background.sh [output.jpg]   (default: Background.jpg beside this script)
# The result is a baseline JPEG of 569 x 365 pixels without metadata; the window stretches it
# to its client area.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
out=${1:-$here/Background.jpg}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

w=569
h=365
font=DejaVu-Sans-Bold

# Sky: deep blue at the top to a pale blue near the horizon.
convert -size ${w}x${h} gradient:'#1d4fa8'-'#a9cdf2' "$work/sky.png"

# Clouds: plasma noise reduced to grey, blurred, its darker half cut away so that only soft
# white patches remain; the fixed seed makes the picture the same on every run.
convert -size ${w}x${h} -seed 19436 plasma:fractal -colorspace Gray \
        -blur 0x4 -auto-level -level 40%,100% -blur 0x1.5 "$work/cloudmask.png"
convert -size ${w}x${h} xc:white "$work/cloudmask.png" -alpha off \
        -compose CopyOpacity -composite "$work/clouds.png"

# Flare: a radial glow with a smaller bright core, added on top of the sky.
convert -size 360x360 radial-gradient:'#fffbe6'-none "$work/glow.png"
convert -size 90x90 radial-gradient:white-none "$work/core.png"

# Product name: letters filled with a rainbow gradient, a dark outline and a soft shadow.
convert xc:'#ff2040' xc:'#ff8c00' xc:'#ffe000' xc:'#30d050' xc:'#00a8ff' xc:'#b040e0' \
        +append -filter Triangle -resize 370x110\! "$work/fill.png"
convert -size 370x110 xc:black -font $font -pointsize 86 -fill white \
        -gravity center -annotate +0+0 'Norvex' "$work/textmask.png"
convert "$work/fill.png" "$work/textmask.png" -alpha off \
        -compose CopyOpacity -composite "$work/text.png"
convert -size 370x110 xc:none -font $font -pointsize 86 -fill none \
        -stroke '#0b2a66' -strokewidth 3 -gravity center -annotate +0+0 'Norvex' "$work/outline.png"
convert "$work/textmask.png" -blur 0x5 -fill '#0b2a66' -colorize 100 \
        "$work/textmask.png" -alpha off -blur 0x5 -compose CopyOpacity -composite \
        -channel A -evaluate multiply 0.6 +channel "$work/shadow.png"

convert "$work/sky.png" \
        "$work/clouds.png" -compose Over -composite \
        "$work/glow.png" -geometry -110-120 -compose Screen -composite \
        "$work/core.png" -geometry +25+15 -compose Screen -composite \
        "$work/shadow.png" -geometry +199+245 -compose Over -composite \
        "$work/outline.png" -geometry +193+239 -compose Over -composite \
        "$work/text.png" -geometry +193+239 -compose Over -composite \
        -flatten -strip -interlace none -sampling-factor 2x2 -quality 84 \
        "JPEG:$out"
