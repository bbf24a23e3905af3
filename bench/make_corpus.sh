#!/usr/bin/env bash
# make_corpus.sh [DIR]: the decode benchmark's pictures, made once with
# ImageMagick from fixed seeds (default DIR: build/bench-corpus of the
# checkout). A finished corpus carries a stamp naming its recipe, so a second
# run does nothing and a changed recipe makes it again.
#   large/      2048 x 2048: grey 8, palette 256, RGB 8, RGBA 8, RGBA 16, RGBA 8 Adam7
#   icons512/   512 x 512 RGBA 8 icon-like pictures
#   icons96/    96 x 96 RGBA 8 icon-like pictures
#   pngsuite/   the valid PngSuite files (names not starting with x)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
out=${1:-$root/build/bench-corpus}
suite=${PNGSUITE_DIR:-$root/tests/data/pngsuite}
recipe=8

if [ "$(cat "$out/.stamp" 2>/dev/null)" = "$recipe" ]; then
    exit 0
fi
command -v convert >/dev/null || { echo "make_corpus.sh: ImageMagick's convert is missing" >&2; exit 1; }
rm -rf "$out"
mkdir -p "$out/large" "$out/icons512" "$out/icons96" "$out/pngsuite"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# No ancillary chunks (gAMA, cHRM, bKGD, times): every decoder then does the
# same work, and no gamma table gets between the outputs being compared.
# Filters chosen per row by libpng's adaptive heuristic and zlib level 6, as
# most encoders write them (left alone, ImageMagick filters every row with
# Average, which would time one filter only).
# shellcheck disable=SC2054  # the commas belong to ImageMagick's chunk list
png_opts=(-strip -define png:exclude-chunks=date,time,bKGD,gAMA,cHRM,sRGB,pHYs,tEXt,zTXt,iTXt
          -define png:compression-level=6 -define png:compression-filter=5)

# A plasma fractal laid over a diagonal gradient: smooth runs and noisy
# detail, as photographs and rendered art have. Two bands are blurred, like
# sky or an out-of-focus background, so that the encoder's per-row filter
# choice varies down the picture (all Average otherwise).
size=2048
convert -seed 7 -size ${size}x${size} plasma:fractal \
    \( -size ${size}x${size} gradient:'#203060'-'#f0c080' -virtual-pixel mirror -distort SRT 30 \
       -gravity center -extent ${size}x${size} \) \
    -compose blend -define compose:args=55 -composite \
    -gravity northwest -region ${size}x$((size / 4))+0+0 -blur 0x4 \
    -region ${size}x$((size / 4))+0+$((size / 2)) -blur 0x1.2 +region "$work/rgb.miff"
# Alpha: a second plasma mixed with a radial fall-off and stretched, so
# there are opaque, clear and every partial value in between.
convert -seed 23 -size ${size}x${size} plasma:fractal -colorspace Gray \
    \( -size ${size}x${size} radial-gradient:white-black \) \
    -compose blend -define compose:args=40 -composite -auto-level -level 15%,75% \
    -gravity northwest -region ${size}x$((size / 4))+0+0 -blur 0x4 \
    -region ${size}x$((size / 4))+0+$((size / 2)) -blur 0x1.2 +region "$work/alpha.miff"
convert "$work/rgb.miff" "$work/alpha.miff" -alpha off -compose CopyOpacity -composite "$work/rgba.miff"

large() {
    local name=$1 source=$2
    shift 2
    convert "$work/$source.miff" "${png_opts[@]}" "$@" "$out/large/$name.png"
}
large grey8 rgb -colorspace Gray -depth 8 -define png:color-type=0 -define png:bit-depth=8
# Palette pictures are usually written unfiltered (PNG standard, section 12.8).
large palette256 rgb -dither FloydSteinberg -colors 256 -define png:color-type=3 -define png:bit-depth=8 \
    -define png:compression-filter=0
large rgb8 rgb -depth 8 -define png:color-type=2 -define png:bit-depth=8
large rgba8 rgba -depth 8 -define png:color-type=6 -define png:bit-depth=8
large rgba16 rgba -depth 16 -define png:color-type=6 -define png:bit-depth=16
large rgba8_adam7 rgba -depth 8 -interlace PNG -define png:color-type=6 -define png:bit-depth=8

# Icon-like pictures: a shape with soft, anti-aliased edges and a drop
# shadow on a clear background, filled with a gradient and some texture.
# shellcheck disable=SC2086  # s, the size, is a number: ${s}x${s} cannot split
icon() {
    local dir=$1 s=$2 seed=$3 shape=$4 from=$5 to=$6
    local c=$((s / 2)) m=$((s / 8)) e=$((s - s / 8)) r=$((s / 6))
    local draw
    case $shape in
    square) draw="roundrectangle $m,$m $e,$e $r,$r" ;;
    circle) draw="circle $c,$c $c,$m" ;;
    ring) draw="stroke white stroke-width $((s / 7)) fill none circle $c,$c $c,$((m + s / 14))" ;;
    diamond) draw="polygon $c,$m $e,$c $c,$e $m,$c" ;;
    tab) draw="roundrectangle $m,$((s / 4)) $e,$e $((r / 2)),$((r / 2))" ;;
    esac
    local blur=$(( s >= 256 ? 3 : 1 ))
    convert -seed "$seed" -size ${s}x${s} plasma:fractal -blur 0x$blur \
        \( -size ${s}x${s} gradient:"$from"-"$to" \) -compose overlay -composite \
        \( -size ${s}x${s} xc:black -fill white -draw "$draw" -blur 0x0.7 \) \
        -alpha off -compose CopyOpacity -composite \
        \( +clone -background black -shadow 60x$((s / 40 + 1))+$((s / 48 + 1))+$((s / 48 + 1)) \) \
        +swap -background none -compose over -layers merge +repage -gravity center -extent ${s}x${s} \
        "${png_opts[@]}" -depth 8 -define png:color-type=6 -define png:bit-depth=8 \
        "$out/$dir/${shape}.png"
}
for s in 512 96; do
    icon icons$s $s 101 square '#3060e0' '#90d0ff'
    icon icons$s $s 102 circle '#e04020' '#ffd060'
    icon icons$s $s 103 ring '#20a040' '#c0ff90'
    icon icons$s $s 104 diamond '#8030c0' '#f0a0ff'
    icon icons$s $s 105 tab '#606060' '#f0f0f0'
done

if [ -d "$suite" ]; then
    for f in "$suite"/*.png; do
        case $(basename "$f") in x*) continue ;; esac
        cp "$f" "$out/pngsuite/"
    done
else
    echo "make_corpus.sh: no PngSuite at $suite; that group stays empty" >&2
fi

echo "$recipe" >"$out/.stamp"
echo "bench corpus ready in $out"
