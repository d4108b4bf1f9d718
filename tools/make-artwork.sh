#!/usr/bin/env bash
# Draws the demo product's artwork with ImageMagick: the two banners of the background window
# (212 x 92), the wizard picture (150 x 340) and the program's icon (32 x 32). The pictures are
# committed as run-length compressed 8-bit pictures (tools/bmp-rle8.py: a few hundred colours
# brought to a palette of 96, the gradients' and buttons' own colours kept exactly), about a
# twelfth of their uncompressed size, and the icon in 16 colours (tools/bmp-ico4.py); run this
# again after changing a picture here.
#   tools/make-artwork.sh [ROOT]    (ROOT defaults to the repository)
set -euo pipefail
root=${1:-$(cd "$(dirname "$0")/.." && pwd)}
font=DejaVu-Sans-Bold
plain=DejaVu-Sans

# A banner: a two-colour gradient, a rounded frame, a heading, a line and a call to click.
# Drawn in 24 bits first (BMP3 keeps the plain header every Windows version reads), then
# compressed.
banner() {  # output from to heading line
  convert -size 212x92 "gradient:$2-$3" \
    -fill none -stroke white -strokewidth 2 -draw "roundrectangle 3,3 208,88 10,10" \
    -stroke none -fill white -font "$font" -pointsize 19 -gravity northwest -annotate +14+12 "$4" \
    -font "$plain" -pointsize 11 -annotate +14+40 "$5" \
    -fill '#ffd54a' -draw "roundrectangle 14,62 118,80 6,6" \
    -fill '#1b2a4a' -font "$font" -pointsize 11 -annotate +22+64 "Подробнее »" \
    -type TrueColor -define bmp:format=bmp3 -compress none "BMP3:$work/banner.bmp"
  python3 "$root/tools/bmp-rle8.py" --colours 96 "$work/banner.bmp" "$1"
}

mkdir -p "$root/examples/demo"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
banner "$root/examples/demo/banner-service.bmp" '#0d47a1' '#42a5f5' "Сервис" "Поддержка и обновления"
banner "$root/examples/demo/banner-blog.bmp" '#1b5e20' '#66bb6a' "Блог" "Новости и советы"

# The wizard's left picture: a tall panel with the demo product's emblem. Not dithered: the
# palette holds the gradient's steps, and undithered rows compress to a few runs each.
convert -size 150x340 'gradient:#fdfdfd-#cfd8e6' \
  -fill '#1565c0' -draw "circle 75,110 75,60" \
  -fill '#ffd54a' -draw "polygon 75,72 108,132 42,132" \
  -fill "#1565c0" -font "$font" -pointsize 22 -gravity north -annotate +0+180 "Demo" \
  -fill '#37474f' -font "$plain" -pointsize 12 -annotate +0+212 "Программный" -annotate +0+228 "продукт" \
  -fill '#1565c0' -draw "rectangle 20,300 130,304" \
  -type TrueColor -define bmp:format=bmp3 -compress none "BMP3:$work/logo.bmp"
python3 "$root/tools/bmp-rle8.py" --colours 96 "$work/logo.bmp" "$root/examples/demo/logo.bmp"

# The program's icon: the emblem of the wizard picture on a transparent ground (magenta).
convert -size 32x32 xc:'#ff00ff' +antialias -fill '#1565c0' -draw "circle 15.5,15.5 15.5,0.5" \
  -antialias -fill '#ffd54a' -draw "polygon 15.5,5 25.5,22.5 5.5,22.5" \
  -type TrueColor -define bmp:format=bmp3 -compress none "BMP3:$work/icon.bmp"
python3 "$root/tools/bmp-ico4.py" "$work/icon.bmp" "$root/examples/demo/demo.ico"
