#!/bin/sh
# Builds Karstel and runs its main job on a generated sample game folder, so
# that a newcomer without the game sees it work.
set -eu
cd "$(dirname "$0")/.."
tools/install-deps.sh
cmake --preset linux
cmake --build --preset linux-release
karstel=build/linux/app/cli/Release/karstel
sample=build/sample-game
rm -rf "$sample"
font="WenQuanYi Micro Hei"  # Debian fonts-wqy-microhei
"$karstel" sample "$sample"
"$karstel" generate --game-folder "$sample" --font "$font"
"$karstel" preview --font "$font" -o build/preview.png
"$karstel" inspect "$sample/pc/textures/fonts.wtd"
