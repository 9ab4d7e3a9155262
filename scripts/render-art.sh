#!/bin/sh
# Re-renders res/background.bmp and res/app.ico from the SVG sources in res/art.
# The outputs are committed, so a normal build never runs this.
# Needs: librsvg2-bin, python3, fonts-dejavu-core, fonts-wqy-microhei.
set -eu

root=$(cd "$(dirname "$0")/.." && pwd)
art="$root/res/art"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT INT TERM

command -v rsvg-convert >/dev/null || { echo "rsvg-convert missing (librsvg2-bin)" >&2; exit 1; }

# A missing font would silently fall back to another face and move every label.
need_font() {
    family=$(fc-match -f '%{family[0]}' "$1")
    if [ "$family" != "$1" ]; then
        echo "font '$1' not installed (package $2); fc-match gives '$family'" >&2
        exit 1
    fi
}
need_font "DejaVu Sans" fonts-dejavu-core
need_font "WenQuanYi Micro Hei" fonts-wqy-microhei

render() { # svg size out.png
    timeout 60 rsvg-convert --width "$2" --height "$3" --format png \
        --output "$4" "$1"
}

render "$art/background.svg" 989 676 "$work/background.png"
timeout 120 python3 "$root/scripts/art-pack.py" bmp "$work/background.png" \
    "$root/res/background.bmp"

render "$art/icon.svg" 256 256 "$work/icon-256.png"
render "$art/icon.svg" 48 48 "$work/icon-48.png"
render "$art/icon.svg" 32 32 "$work/icon-32.png"
render "$art/icon-24.svg" 24 24 "$work/icon-24.png"
render "$art/icon-16.svg" 16 16 "$work/icon-16.png"

set --
for bits in 32 8 4; do
    for size in 48 32 24 16; do
        set -- "$@" "$size:$bits:$work/icon-$size.png"
    done
done
timeout 120 python3 "$root/scripts/art-pack.py" ico "$root/res/app.ico" \
    "256:32:$work/icon-256.png" "$@"

timeout 120 python3 "$root/scripts/check-art.py" "$root/res/background.bmp" "$root/res/app.ico"
