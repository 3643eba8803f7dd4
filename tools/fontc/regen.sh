#!/usr/bin/env bash
# Regenerates the compiled fonts in gfx/fonts from tools/fontc/fonts.txt. Needs the font compiler
# (built with the host build as build/fontc, or pass its path) and the packages fonts-liberation2,
# fonts-dejavu-core and libfreetype-dev of Debian 12; the output is the same on every such machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
fontc=${1:-$root/build/fontc}
"$fontc" table "$root/tools/fontc/fonts.txt" "$root/gfx/fonts"
