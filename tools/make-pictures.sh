#!/usr/bin/env bash
# Draws every picture of the resource collection from scratch with ImageMagick 6
# (Debian's imagemagick package) and the Nanum fonts, into resources/image and
# resources/resource. The output is deterministic: no time stamps in the files.
#
#   tools/make-pictures.sh            redraw everything
#   PURPLE='#2d5bd0' tools/make-pictures.sh   restyle (any variable below)
set -euo pipefail

# ---- Style: change these to restyle every picture ---------------------------
PURPLE=${PURPLE:-'#392187'}            # brand colour, as the style sheets use it
PURPLE_BRIGHT=${PURPLE_BRIGHT:-'#6144c4'} # borders and accents, rgb(97,68,196)
LAVENDER=${LAVENDER:-'#c9bff2'}        # light tone: slider groove, highlights
BG_LIGHT=${BG_LIGHT:-'#35208e'}        # background gradient, top-left corner
BG_DARK=${BG_DARK:-'#150b40'}          # background gradient, bottom-right corner
GLOW=${GLOW:-'#6f55dc'}                # light behind the central framed area
GLOW_STRENGTH=${GLOW_STRENGTH:-85}     # percent, peak opacity of that light
PANEL_TOP=${PANEL_TOP:-'#33208a'}      # notification panel, upper part
PANEL_BOTTOM=${PANEL_BOTTOM:-'#1e1258'}
PANEL_FOOTER=${PANEL_FOOTER:-'#efebfd'} # notification panel, button band
WARN=${WARN:-'#f4b23e'}                # warning sign
DANGER=${DANGER:-'#e5484d'}            # forbidden sign
PRODUCT_BOLD=${PRODUCT_BOLD:-'Nimbara'}
PRODUCT_LIGHT=${PRODUCT_LIGHT:-'Workspace'}
FONT_DIR=${FONT_DIR:-/usr/share/fonts/truetype/nanum}
FONT_BOLD=$FONT_DIR/NanumSquareB.ttf
FONT_REGULAR=$FONT_DIR/NanumSquareR.ttf
# ------------------------------------------------------------------------------

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
IMG=$ROOT/resources/image
RES=$ROOT/resources/resource

# Debian's ImageMagick 6; /usr/bin/convert first so no wrapper earlier in PATH is used.
IM=${IM:-/usr/bin/convert}
if ! [ -x "$IM" ] || ! "$IM" -version 2>/dev/null | grep -q 'ImageMagick 6'; then
    echo "make-pictures: needs ImageMagick 6 at $IM (apt-get install imagemagick)" >&2
    exit 1
fi
for f in "$FONT_BOLD" "$FONT_REGULAR"; do
    [ -r "$f" ] || { echo "make-pictures: font $f missing (apt-get install fonts-nanum)" >&2; exit 1; }
done

WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT

# One thread: light on a shared machine, and the same pixels every run.
export MAGICK_THREAD_LIMIT=1 OMP_NUM_THREADS=1
im() { "$IM" "$@"; }
# png SRC DEST [opaque]: write an 8-bit PNG without time stamps or other metadata.
png() {
    local kind=PNG32
    [ "${3:-}" = opaque ] && kind=PNG24
    mkdir -p "$(dirname "$2")"
    im "$1" -strip -depth 8 -define png:exclude-chunks=date,time,tEXt,zTXt,iTXt \
        -define png:compression-level=9 "$kind:$2"
}

mkdir -p "$IMG" "$RES"

# ==== Application icon =========================================================
# cloud CX CY U: draw primitives of the product cloud, centred near CX,CY, U pixels per unit
cloud() {
    awk -v x="$1" -v y="$2" -v u="$3" 'BEGIN{
        printf "circle %.1f,%.1f %.1f,%.1f ", x-22*u, y-2*u, x-22*u, y-22*u
        printf "circle %.1f,%.1f %.1f,%.1f ", x+2*u, y-10*u, x+2*u, y-36*u
        printf "circle %.1f,%.1f %.1f,%.1f ", x+24*u, y+4*u, x+24*u, y-12*u
        printf "roundrectangle %.1f,%.1f %.1f,%.1f %.1f,%.1f", x-38*u, y-2*u, x+38*u, y+20*u, 11*u, 11*u
    }'
}
icon_glyph() { # icon_glyph SIZE4X OUT: the white monitor-and-cloud mark on transparent
    local s=$1
    im -size "${s}x${s}" xc:none -fill none -stroke white -strokewidth $((s * 13 / 256)) \
        -draw "roundrectangle $((s * 52 / 256)),$((s * 66 / 256)) $((s * 204 / 256)),$((s * 166 / 256)) $((s * 14 / 256)),$((s * 14 / 256))" \
        -stroke none -fill white \
        -draw "polygon $((s * 114 / 256)),$((s * 170 / 256)) $((s * 142 / 256)),$((s * 170 / 256)) $((s * 148 / 256)),$((s * 192 / 256)) $((s * 108 / 256)),$((s * 192 / 256))" \
        -draw "roundrectangle $((s * 88 / 256)),$((s * 188 / 256)) $((s * 168 / 256)),$((s * 200 / 256)) $((s * 6 / 256)),$((s * 6 / 256))" \
        -draw "$(cloud $((s * 134 / 256)) $((s * 120 / 256)) "$(awk -v s="$s" 'BEGIN{print s/256}')")" \
        "$2"
}

# Rounded square in the brand gradient with the white monitor-and-cloud glyph.
# Drawn at 4x and reduced, which gives clean edges at every size.
S=1024
icon_glyph $S "$WORK/glyph.miff"
im -size ${S}x${S} -define gradient:angle=135 gradient:"$GLOW-$PURPLE" \
    \( -size ${S}x${S} -define gradient:angle=180 gradient:'rgba(255,255,255,0.16)-rgba(255,255,255,0)' \) \
    -compose over -composite \
    \( -size ${S}x${S} xc:black -fill white -draw "roundrectangle 24,24 999,999 224,224" \) \
    -alpha off -compose copy_opacity -composite \
    \( -size ${S}x${S} xc:none -fill none -stroke 'rgba(255,255,255,0.28)' -strokewidth 8 \
        -draw "roundrectangle 30,30 993,993 218,218" \) -compose over -composite \
    "$WORK/glyph.miff" -compose over -composite \
    -resize 256x256 "$WORK/icon.miff"
png "$WORK/icon.miff" "$IMG/Workspace.png"

# ==== Window backgrounds ========================================================
# A diagonal gradient, a soft light behind the framed area (where the screens put
# their white fields and purple buttons), a faint dot grid and thin rings towards
# the edges, and the product word-mark at the top left, clear of the framed area.
# background W H FRAME_X FRAME_Y SCALE OUT   (the framed area is 420x480)
background() {
    local w=$1 h=$2 fx=$3 fy=$4 k=$5 out=$6
    local cx=$((fx + 210)) cy=$((fy + 240)) glow
    glow=$(awk -v g="$GLOW_STRENGTH" 'BEGIN{print g/100}')
    local rx ry
    rx=$(awk -v k="$k" 'BEGIN{printf "%d", 680*k}')
    ry=$(awk -v k="$k" 'BEGIN{printf "%d", 540*k}')
    # dot grid tile, pitch in pixels
    local p
    p=$(awk -v k="$k" 'BEGIN{printf "%d", 22*k}')
    im -size "${p}x${p}" xc:none -fill 'rgba(255,255,255,0.16)' \
        -draw "circle $((p / 2)),$((p / 2)) $((p / 2)),$((p / 2 + 1))" "$WORK/dot.miff"
    # rings: centre bottom-left and top-right corners, radii grow with the scale
    local rings="" r
    for r in 70 115 160 205; do
        r=$(awk -v k="$k" -v r="$r" 'BEGIN{printf "%d", r*k}')
        rings="$rings circle 0,$h $r,$h"
    done
    local rings2=""
    for r in 120 170 220; do
        r=$(awk -v k="$k" -v r="$r" 'BEGIN{printf "%d", r*k}')
        rings2="$rings2 circle $w,0 $((w - r)),0"
    done
    local b1 b2 b3
    b1=$(awk -v k="$k" -v w="$w" -v h="$h" 'BEGIN{printf "circle %d,%d %d,%d", w+30*k, h+30*k, w+30*k+250*k, h+30*k}')
    b2=$(awk -v k="$k" -v w="$w" -v h="$h" 'BEGIN{printf "circle %d,%d %d,%d", 90*k, 40*k, 90*k+190*k, 40*k}')
    b3=$(awk -v k="$k" -v w="$w" -v h="$h" 'BEGIN{printf "circle %d,%d %d,%d", w-60*k, h*0.42, w-60*k+110*k, h*0.42}')

    im -size "${w}x${h}" -define gradient:angle=135 gradient:"$BG_LIGHT-$BG_DARK" \
        \( -size "${w}x${h}" xc:"$GLOW" \
           \( -size "${w}x${h}" -define gradient:center=$cx,$cy -define gradient:radii="$rx,$ry" \
              radial-gradient:white-black -sigmoidal-contrast 4x45% -evaluate multiply "$glow" \) \
           -alpha off -compose copy_opacity -composite \) -compose over -composite \
        \( -size "${w}x${h}" xc:none -fill 'rgba(255,255,255,0.035)' -draw "$b1" -draw "$b2" \
           -fill 'rgba(160,130,255,0.06)' -draw "$b3" \) -compose over -composite \
        \( -size "${w}x${h}" xc:none -tile "$WORK/dot.miff" -draw 'color 0,0 reset' \
           \( -size "${w}x${h}" -define gradient:center=$cx,$cy -define gradient:radii=$((rx * 9 / 10)),$((ry * 9 / 10)) \
              radial-gradient:black-white -level 35%,100% -alpha copy \) \
           -compose dst_in -composite \) -compose over -composite \
        \( -size "${w}x${h}" xc:none -fill none -strokewidth "$k" \
           -stroke 'rgba(255,255,255,0.075)' -draw "$rings" \
           -stroke 'rgba(255,255,255,0.06)' -draw "$rings2" \) -compose over -composite \
        "$WORK/bg-base.miff"

    # word-mark: small icon, bold and light product words
    local ih fs x0 y0
    ih=$(awk -v k="$k" 'BEGIN{printf "%d", 34*k}')
    fs=$(awk -v k="$k" 'BEGIN{printf "%d", 21*k}')
    x0=$(awk -v k="$k" 'BEGIN{printf "%d", 30*k}')
    y0=$(awk -v k="$k" 'BEGIN{printf "%d", 26*k}')
    im "$WORK/mark-icon.miff" -resize "${ih}x${ih}" \
        \( -size "$((ih / 3))x1" xc:none \) \
        \( +size -background none -fill white -font "$FONT_BOLD" -pointsize "$fs" label:"$PRODUCT_BOLD" \) \
        \( -size "$((fs / 4))x1" xc:none \) \
        \( +size -background none -fill 'rgba(255,255,255,0.82)' -font "$FONT_REGULAR" -pointsize "$fs" label:"$PRODUCT_LIGHT" \) \
        -background none -gravity center +append "$WORK/mark.miff"
    im "$WORK/bg-base.miff" "$WORK/mark.miff" -gravity northwest -geometry "+$x0+$y0" \
        -compose over -composite "$WORK/bg.miff"
    png "$WORK/bg.miff" "$out" opaque
}

# the word-mark's icon: the glyph in purple on a white tile, which reads on purple
im -size 1024x1024 xc:none -fill white -draw "roundrectangle 24,24 999,999 224,224" \
    \( "$WORK/glyph.miff" -fill "$PURPLE" -colorize 100 \) -compose over -composite "$WORK/mark-icon.miff"
background 900 600 235 90 1 "$IMG/bg.png"
# The window at 200 % (Qt picks the @2x form by itself) and full screen above 1920 x 1080.
background 1800 1200 470 180 2 "$IMG/bg@2x.png"
background 1920 1080 745 330 1.6 "$IMG/bg1920.png"
background 3840 2160 1490 660 3.2 "$IMG/bg3840.png"

# ==== Small white icons ==========================================================
# Each is drawn on a 64x64 canvas (four times the size it is used at) and reduced.
# trig helper: pt CX CY R DEG -> "x,y"
pt() { awk -v cx="$1" -v cy="$2" -v r="$3" -v d="$4" 'BEGIN{a=d*atan2(0,-1)/180; printf "%.2f,%.2f", cx+r*cos(a), cy+r*sin(a)}'; }

# icon_arrow COLOUR OUT: back arrow pointing left
icon_arrow() {
    im -size 64x64 xc:none -fill none -stroke "$1" -strokewidth 7 \
        -draw "stroke-linecap round stroke-linejoin round polyline 30,14 12,32 30,50" \
        -draw "stroke-linecap round line 14,32 52,32" "$2"
}
# icon_refresh COLOUR OUT: circular arrow (re-request)
icon_refresh() {
    # the arc as a polyline: ImageMagick 6 closes thick stroked arc paths
    local arc h1 h2 h3
    arc=$(awk 'BEGIN{for (d = 10; d <= 240; d += 5) {a = d*atan2(0,-1)/180; printf "%.2f,%.2f ", 32+19*cos(a), 32+19*sin(a)}}')
    h1=$(pt 32 32 9.5 236); h2=$(pt 32 32 28.5 236); h3=$(pt 32 32 19 272)
    im -size 64x64 xc:none -fill none -stroke "$1" -strokewidth 6.5 \
        -draw "stroke-linecap round stroke-linejoin round polyline $arc" \
        -strokewidth 1.5 -fill "$1" -draw "stroke-linejoin round polygon $h1 $h2 $h3" "$2"
}
# icon_send COLOUR OUT: paper plane (request a code)
icon_send() {
    im -size 64x64 xc:none -stroke "$1" -strokewidth 2.5 -fill "$1" \
        -draw "stroke-linejoin round polygon 7,30 57,9 29,40" \
        -draw "stroke-linejoin round polygon 57,9 45,55 33,42" \
        -draw "stroke-linejoin round polygon 29,44 29,56 37,49" "$2"
}
# icon_signin COLOUR OUT: arrow entering a door
icon_signin() {
    im -size 64x64 xc:none -fill none -stroke "$1" -strokewidth 6 \
        -draw "stroke-linecap round stroke-linejoin round polyline 36,10 52,10 52,54 36,54" \
        -draw "stroke-linecap round line 8,32 38,32" \
        -draw "stroke-linecap round stroke-linejoin round polyline 26,20 38,32 26,44" "$2"
}
# icon_check COLOUR OUT: tick
icon_check() {
    im -size 64x64 xc:none -fill none -stroke "$1" -strokewidth 7 \
        -draw "stroke-linecap round stroke-linejoin round polyline 12,34 26,48 52,18" "$2"
}
# icon_gear COLOUR OUT: eight-tooth gear with a hole
icon_gear() {
    local pts="" i c
    for i in 0 1 2 3 4 5 6 7; do
        c=$((i * 45))
        pts="$pts $(pt 32 32 21 $((c - 16))) $(pt 32 32 29 $((c - 9))) $(pt 32 32 29 $((c + 9))) $(pt 32 32 21 $((c + 16)))"
    done
    im -size 64x64 xc:black -fill white -stroke white -strokewidth 1.5 \
        -draw "stroke-linejoin round polygon $pts" -draw "circle 32,32 32,10" \
        -fill black -stroke none -draw "circle 32,32 32,22.5" \
        \( -size 64x64 xc:"$1" \) +swap -alpha off -compose copy_opacity -composite "$2"
}
# shrink SRC SIZE OUT: reduce an icon drawing to its final size
shrink() { im "$1" -filter Lanczos -resize "$2x$2" "$3"; }

icon_arrow white "$WORK/arrow.miff"
shrink "$WORK/arrow.miff" 25 "$WORK/arrow25.miff"
png "$WORK/arrow25.miff" "$IMG/button/left_arrow.png"
png "$WORK/arrow25.miff" "$IMG/stream_option/left_arrow.png"
shrink "$WORK/arrow.miff" 50 "$WORK/arrow50.miff"
png "$WORK/arrow50.miff" "$IMG/button/left_arrow@2x.png"
png "$WORK/arrow50.miff" "$IMG/stream_option/left_arrow@2x.png"

icon_gear white "$WORK/gear.miff"
shrink "$WORK/gear.miff" 24 "$WORK/gear24.miff"
png "$WORK/gear24.miff" "$IMG/pc_select/gear-2-24.png"
shrink "$WORK/gear.miff" 48 "$WORK/gear48.miff"
png "$WORK/gear48.miff" "$IMG/pc_select/gear-2-24@2x.png"

# ==== Close cross =================================================================
im -size 256x256 xc:none -fill 'rgba(255,255,255,0.10)' -stroke 'rgba(255,255,255,0.38)' -strokewidth 6 \
    -draw "circle 128,128 128,12" \
    -fill none -stroke white -strokewidth 17 \
    -draw "stroke-linecap round line 90,90 166,166" -draw "stroke-linecap round line 166,90 90,166" \
    "$WORK/x-big.miff"
im "$WORK/x-big.miff" -filter Lanczos -resize 64x64 "$WORK/x.miff"
png "$WORK/x.miff" "$IMG/x.png"
im "$WORK/x-big.miff" -filter Lanczos -resize 128x128 "$WORK/x.miff"
png "$WORK/x.miff" "$IMG/x@2x.png"

# ==== Slider groove fills =========================================================
im -size 8x7 xc:"$PURPLE" "$WORK/purple.miff"
im -size 8x7 xc:"$LAVENDER" "$WORK/purple_lite.miff"
png "$WORK/purple.miff" "$IMG/stream_option/purple.png" opaque
png "$WORK/purple_lite.miff" "$IMG/stream_option/purple_lite.png" opaque

# ==== Buttons =====================================================================
# Skins for the push buttons: brand purple with a soft top light and an icon at
# the left end; the button text is Qt's and stays centred, clear of the icon.
# Disabled forms are the same at a quarter of the opacity, as the style sheets
# fade the disabled buttons (alpha 63 of 255).
# button W H RADIUS ICON_FILE|none OUT_NORMAL OUT_FADED [FADE]
button() {
    local w=$1 h=$2 r=$3 icon=$4 out=$5 dis=$6 fade=${7:-0.25}
    local W=$((w * 4)) H=$((h * 4)) R=$((r * 4))
    im -size "${W}x${H}" gradient:"$GLOW-$PURPLE" -sigmoidal-contrast 2x30% \
        \( -size "${W}x${H}" xc:"$PURPLE" -alpha set -channel A -evaluate set 55% +channel \) -compose over -composite \
        \( -size "${W}x${H}" xc:black -fill white -draw "roundrectangle 0,0 $((W - 1)),$((H - 1)) $R,$R" \) \
        -alpha off -compose copy_opacity -composite \
        \( -size "${W}x${H}" xc:none -fill none -stroke 'rgba(255,255,255,0.22)' -strokewidth 4 \
           -draw "roundrectangle 2,2 $((W - 3)),$((H - 3)) $((R - 2)),$((R - 2))" \
           \( -size "${W}x${H}" gradient:white-black -level 0%,60% -alpha copy \) -compose dst_in -composite \) \
        -compose over -composite "$WORK/btn-big.miff"
    if [ "$icon" != none ]; then
        local is=$((H * 46 / 100)) ix
        ix=$((H * 32 / 100))
        [ "$h" -ge 50 ] && ix=$((H * 45 / 100))
        im "$WORK/btn-big.miff" \( "$icon" -resize "${is}x${is}" \) -gravity west -geometry "+$ix+0" \
            -compose over -composite "$WORK/btn-big.miff"
    fi
    local k suffix
    for k in 1 2; do
        suffix=""
        [ "$k" = 2 ] && suffix="@2x"
        im "$WORK/btn-big.miff" -filter Lanczos -resize "$((w * k))x$((h * k))!" "$WORK/btn.miff"
        png "$WORK/btn.miff" "${out%.png}$suffix.png"
        im "$WORK/btn.miff" -channel A -evaluate multiply "$fade" +channel "$WORK/btn-dis.miff"
        png "$WORK/btn-dis.miff" "${dis%.png}$suffix.png"
    done
}

icon_send white "$WORK/i-send.miff"
icon_refresh white "$WORK/i-refresh.miff"
icon_signin white "$WORK/i-signin.miff"
icon_check white "$WORK/i-check.miff"
button 120 40 17 "$WORK/i-send.miff" "$IMG/button/request.png" "$IMG/button/request_disabled.png"
button 120 40 17 "$WORK/i-refresh.miff" "$IMG/button/rerequest.png" "$IMG/button/rerequest_disabled.png"
button 350 50 15 "$WORK/i-signin.miff" "$IMG/button/login.png" "$IMG/button/login_disabled.png"
button 120 35 15 "$WORK/i-check.miff" "$IMG/button/confirm.png" "$IMG/button/confirm_disabled.png"
# The re-request button of the one-time-password step (its text "요청" is Qt's).
cp "$IMG/button/rerequest.png" "$RES/reotp_selected.png"
cp "$IMG/button/rerequest_disabled.png" "$RES/reotp_gray.png"

# ==== Monitor pictures (resource list cards, white background) ======================
# Drawn at 4x (360x300) and reduced to 90x75: a brand-purple monitor with a lit
# screen. The normal one shows the product cloud, the other a red forbidden sign.
# monitor OVERLAY OUT   (OVERLAY: 360x300 picture laid over the monitor)
monitor() {
    im -size 360x300 xc:none -fill "$PURPLE" \
        -draw "roundrectangle 10,8 350,226 22,22" \
        -draw "polygon 152,224 208,224 218,266 142,266" \
        -draw "roundrectangle 100,260 260,284 12,12" \
        \( -size 308x182 -define gradient:angle=135 gradient:"$GLOW-$PURPLE_BRIGHT" \
           \( -size 308x182 xc:black -fill white -draw "roundrectangle 0,0 307,181 8,8" \) \
           -alpha off -compose copy_opacity -composite \
           \( -size 308x182 xc:none -fill 'rgba(255,255,255,0.09)' -draw "polygon 190,0 260,0 130,182 60,182" \) \
           -compose over -composite \) \
        -geometry +26+24 -compose over -composite \
        "$1" -geometry +0+0 -compose over -composite "$WORK/monitor-big.miff"
    im "$WORK/monitor-big.miff" -filter Lanczos -resize 90x75 "$2"
    im "$WORK/monitor-big.miff" -filter Lanczos -resize 180x150 "${2%.miff}@2x.miff"
}
im -size 360x300 xc:none -fill white -draw "$(cloud 182 128 1.55)" "$WORK/mon-cloud.miff"
im -size 360x300 xc:none -fill white -draw "circle 180,115 180,47" \
    -fill none -stroke "$DANGER" -strokewidth 17 -draw "circle 180,115 180,58" \
    -draw "stroke-linecap butt line 140,75 220,155" "$WORK/mon-ban.miff"
monitor "$WORK/mon-cloud.miff" "$WORK/monitor.miff"
monitor "$WORK/mon-ban.miff" "$WORK/ban_monitor.miff"
png "$WORK/monitor.miff" "$IMG/pc_select/monitor.png"
png "$WORK/ban_monitor.miff" "$IMG/pc_select/ban_monitor.png"
png "$WORK/monitor@2x.miff" "$IMG/pc_select/monitor@2x.png"
png "$WORK/ban_monitor@2x.miff" "$IMG/pc_select/ban_monitor@2x.png"

# ==== Notification panels ===========================================================
# 390x307, stretched onto the box's panel. A dark brand-purple body for the white
# message text (which sits at y 100..211), a light band at the bottom where the
# purple OK / yes and the white no buttons sit (y 249..282), a thin light border,
# a soft drop shadow, and a sign in the upper part. Drawn at 2x.
# panel SIGN_FILE OUT   (SIGN_FILE: 780x614 overlay with the sign)
panel() {
    im -size 780x614 xc:none \
        \( -size 780x614 xc:none -fill 'rgba(6,3,24,0.55)' -draw "roundrectangle 14,18 765,604 32,32" \
           -channel RGBA -blur 0x8 +channel \) -compose over -composite \
        \( -size 780x614 gradient:"$PANEL_TOP-$PANEL_BOTTOM" \
           \( -size 780x614 xc:"$GLOW" \( -size 780x614 -define gradient:center=390,96 -define gradient:radii=380,230 \
              radial-gradient:white-black -evaluate multiply 0.42 \) -alpha off -compose copy_opacity -composite \) \
           -compose over -composite \
           -fill "$PANEL_FOOTER" -draw "rectangle 0,466 779,613" \
           -fill 'rgba(255,255,255,0.10)' -draw "rectangle 0,462 779,465" \
           \( -size 780x614 xc:black -fill white -draw "roundrectangle 12,10 767,597 32,32" \) \
           -alpha off -compose copy_opacity -composite \) -compose over -composite \
        \( -size 780x614 xc:none -fill none -stroke 'rgba(160,138,255,0.75)' -strokewidth 3 \
           -draw "roundrectangle 13.5,11.5 765.5,595.5 31,31" \) -compose over -composite \
        "$1" -compose over -composite "${2%.miff}@2x.miff"
    im "${2%.miff}@2x.miff" -filter Lanczos -resize 390x307 "$2"
}
# information sign: white disc with a purple "i" on a faint halo
im -size 780x614 xc:none -fill 'rgba(255,255,255,0.10)' -draw "circle 390,102 390,54" \
    -fill white -draw "circle 390,102 390,68" \
    -fill "$PURPLE" -draw "circle 390,84 390,77.5" -draw "roundrectangle 383,95 397,124 5,5" \
    "$WORK/sign-info.miff"
# warning sign: amber rounded triangle with a dark "!"
im -size 780x614 xc:none -fill 'rgba(255,200,90,0.13)' -draw "circle 390,104 390,54" \
    -fill "$WARN" -stroke "$WARN" -strokewidth 12 -draw "stroke-linejoin round polygon 390,70 428,134 352,134" \
    -stroke none -fill "$PANEL_BOTTOM" -draw "roundrectangle 385,88 395,116 5,5" -draw "circle 390,125 390,119" \
    "$WORK/sign-warn.miff"
panel "$WORK/sign-info.miff" "$WORK/panel-info.miff"
panel "$WORK/sign-warn.miff" "$WORK/panel-warn.miff"
png "$WORK/panel-info.miff" "$IMG/notificate/확인배경.png"
png "$WORK/panel-warn.miff" "$IMG/notificate/경고배경.png"
png "$WORK/panel-info@2x.miff" "$IMG/notificate/확인배경@2x.png"
png "$WORK/panel-warn@2x.miff" "$IMG/notificate/경고배경@2x.png"

# Yes and no buttons of the panel, 91x31, with their hover forms.
button 91 31 4 none "$IMG/notificate/yes.png" "$IMG/notificate/yes_hover.png" 0.745
# no: white with a 4px border in the bright purple; hover fills it with lavender
no_button() {
    im -size 364x124 xc:none -fill "$2" -stroke "$PURPLE_BRIGHT" -strokewidth 16 \
        -draw "roundrectangle 8,8 355,115 10,10" "$WORK/no-big.miff"
    im "$WORK/no-big.miff" -filter Lanczos -resize 91x31 "$WORK/no.miff"
    png "$WORK/no.miff" "$1"
    im "$WORK/no-big.miff" -filter Lanczos -resize 182x62 "$WORK/no.miff"
    png "$WORK/no.miff" "${1%.png}@2x.png"
}
no_button "$IMG/notificate/no.png" white
no_button "$IMG/notificate/no_hover.png" 'rgb(218,208,250)'

# ==== Spinner ==============================================================================
# 280x280, twelve frames, looping: a ring of twelve dots whose bright head turns
# clockwise, shown over the middle of the window. GIF transparency is on or off, so
# the dots are blended with the background colour found under the spinner and their
# edges are cut at partial coverage: no halo, smooth edges on that background.
# 305,186 is where the integrity-check screen puts the 280x280 movie in the window.
matte=$(im "$IMG/bg.png" -crop 280x280+305+186 +repage -scale '1x1!' \
    -format '%[fx:int(255*r+0.5)] %[fx:int(255*g+0.5)] %[fx:int(255*b+0.5)]' info:)
frames=()
for i in $(seq 0 11); do
    dots=$(awk -v i="$i" -v m="$matte" 'BEGIN{
        split(m, c, " "); pi = atan2(0, -1)
        for (j = 11; j >= 0; j--) {
            a = ((i - j) * 30 - 90) * pi / 180
            x = 280 + 222 * cos(a); y = 280 + 222 * sin(a)
            r = 27 - j * 1.3; f = 1 - j * 0.075
            printf "fill rgb(%d,%d,%d) circle %.1f,%.1f %.1f,%.1f ", \
                255*f + c[1]*(1-f), 255*f + c[2]*(1-f), 255*f + c[3]*(1-f), x, y, x + r, y
        }}')
    im -size 560x560 xc:none -draw "$dots" -filter Lanczos -resize 280x280 "$WORK/dots.miff"
    im "$WORK/dots.miff" -background "rgb(${matte// /,})" -flatten \
        \( "$WORK/dots.miff" -alpha extract -threshold 40% \) \
        -alpha off -compose copy_opacity -composite "$WORK/spin-$i.miff"
    frames+=("$WORK/spin-$i.miff")
done
mkdir -p "$IMG/loading"
im -delay 8 -dispose background "${frames[@]}" -loop 0 +dither -colors 64 "$IMG/loading/spinner.gif"

echo "make-pictures: done"
