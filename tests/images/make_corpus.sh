#!/usr/bin/env bash
# Writes the decoder corpus into $1: pictures made by the distribution's encoders (cjpeg, ImageMagick)
# and what the distribution's decoders (djpeg, ImageMagick) make of them, with a manifest of
# "kind file reference" lines that the corpus test walks.
set -euo pipefail
out=$1
convert=$(command -v convert-im6.q16 || command -v convert)
rm -rf "$out"
mkdir -p "$out"
cd "$out"
m=manifest.txt
: > $m

# Source pictures: a fractal photo stand-in, a smooth one, sharp edges with text.
"$convert" -size 320x240 -seed 7 plasma:fractal photo.ppm
"$convert" -size 800x480 -seed 3 plasma:red-blue screen.ppm
"$convert" -size 1600x1200 -seed 5 plasma:fractal large.ppm
"$convert" -size 203x117 gradient:yellow-navy -fill white -draw "rectangle 20,20 90,60" \
    -fill black -draw "circle 150,60 170,90" odd.ppm

jpeg() { # name, source, cjpeg options
    local name=$1 src=$2
    shift 2
    cjpeg "$@" "$src" > "$name.jpg"
    djpeg -pnm "$name.jpg" > "$name.ref.pnm"
    echo "jpeg $name.jpg $name.ref.pnm" >> $m
}
for s in 1x1 2x1 2x2 1x2; do
    for q in 50 90; do
        jpeg "base_${s}_q$q" photo.ppm -quality $q -sample $s
        jpeg "prog_${s}_q$q" photo.ppm -quality $q -sample $s -progressive
    done
    jpeg "odd_$s" odd.ppm -quality 75 -sample $s
    jpeg "oddprog_$s" odd.ppm -quality 75 -sample $s -progressive
done
jpeg grey photo.ppm -grayscale -quality 80
jpeg greyprog odd.ppm -grayscale -progressive
jpeg restart photo.ppm -quality 85 -sample 2x2 -restart 3B
jpeg restartprog photo.ppm -quality 85 -progressive -restart 1
jpeg q100 odd.ppm -quality 100 -sample 1x1
jpeg optimized photo.ppm -optimize -quality 60
jpeg screen screen.ppm -quality 85
jpeg screenprog screen.ppm -quality 85 -progressive
jpeg large large.ppm -quality 80
# Wider than one pass of a progressive picture fits in the pool: non-zero masks outside the drawn
# columns, and strips.
jpeg wideprog large.ppm -quality 80 -progressive
jpeg wideprog444 large.ppm -quality 90 -sample 1x1 -progressive

gif() { # name, then ImageMagick arguments that write it
    local name=$1
    shift
    "$convert" "$@" "$name.gif"
    "$convert" "$name.gif" -coalesce "PAM:$name-%d.ref.pam"
    local frames
    frames=$(ls "$name"-*.ref.pam | wc -l)
    echo "gif $name.gif $name-%d.ref.pam $frames" >> $m
}
gif plain photo.ppm -colors 200
gif interlaced photo.ppm -resize 96x61 -colors 64 -interlace GIF
gif two odd.ppm -colors 2
gif transparent odd.ppm -colors 16 -transparent white
gif frames -delay 10 -size 60x40 xc:red -size 30x20 xc:blue -delay 20 -page +10+5 xc:green -loop 0
gif local -delay 5 photo.ppm -resize 64x48 -colors 40 \( odd.ppm -resize 64x48 -colors 100 \) \
    \( screen.ppm -resize 64x48 -colors 8 \) -loop 2
gif many -delay 3 -size 40x30 $(for i in $(seq 0 11); do echo "gradient:rgb($((i * 20)),0,0)-rgb(0,$((255 - i * 20)),255)"; done)

bmp() { # name, format, then ImageMagick arguments
    local name=$1 format=$2
    shift 2
    "$convert" "$@" "$format:$name.bmp"
    "$convert" "$name.bmp" -alpha off -depth 8 "PPM:$name.ref.ppm"
    echo "bmp $name.bmp $name.ref.ppm" >> $m
}
bmp bmp24 BMP3 odd.ppm -type truecolor
bmp bmp32 BMP3 odd.ppm -alpha set -define bmp3:alpha=true
bmp bmp8 BMP3 odd.ppm -colors 200 -type palette -compress None
bmp bmp4 BMP3 odd.ppm -colors 16 -type palette -depth 4 -compress None
bmp bmp1 BMP3 odd.ppm -monochrome -type bilevel
bmp rle8 BMP3 odd.ppm -colors 100 -type palette -compress RLE
# 16 bits with bit fields: a compression the decoder refuses.
"$convert" odd.ppm -define bmp:subtype=RGB555 BMP:bitfields.bmp
echo "refused bitfields.bmp" >> $m
