#!/usr/bin/env bash
# Takes pictures of the main program: the main window, the project tree's
# context menu and the save dialog, on a small sample knowledge base, and of
# the capture dialog shown over a page in Chromium, under a virtual X display
# (xvfb-run). Builds nothing: give it a build folder that
# holds app/kestrova and cli/velkin.
#
#   scripts/screenshot.sh [BUILD_FOLDER [OUTPUT_FOLDER]]
#
# BUILD_FOLDER defaults to "build", OUTPUT_FOLDER to BUILD_FOLDER/screenshots.
# The run uses a settings store and data folder of its own in a temporary
# folder, so your own settings and knowledge base are never touched.
set -euo pipefail

build=${1:-build}
out=${2:-$build/screenshots}
kestrova="$build/app/kestrova"
velkin="$build/cli/velkin"
for program in "$kestrova" "$velkin"; do
  if [[ ! -x "$program" ]]; then
    echo "screenshot.sh: $program is missing; build first (make build)" >&2
    exit 1
  fi
done
if ! command -v xvfb-run > /dev/null; then
  echo "screenshot.sh: xvfb-run is missing (Debian package xvfb)" >&2
  exit 1
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/velkin-shots-XXXXXX")
trap 'rm -rf "$work"' EXIT
export VELKIN_CONFIG_DIR="$work/config"
export XDG_DATA_HOME="$work/data"
export XDG_CONFIG_HOME="$work/xdg-config"
export VELKIN_NO_TIP=1
book="$work/Knowledge"

# A picture for a page's companion folder: a coloured card with a label.
picture() {  # FILE COLOUR LABEL
  mkdir -p "$(dirname "$1")"
  cat > "$1" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="320" height="180" viewBox="0 0 320 180">
<rect width="320" height="180" rx="14" fill="$2"/><circle cx="250" cy="60" r="34" fill="#ffffff" opacity=".35"/>
<text x="24" y="150" font-family="sans-serif" font-size="28" fill="#fff">$3</text></svg>
SVG
}

# A captured page: the capture header, a heading, text and a picture kept
# in the page's companion folder.
page() {  # CATEGORY NAME TITLE ADDRESS COLOUR
  local folder="$book/$1" stem="$2"
  mkdir -p "$folder"
  picture "$folder/$stem.files/picture.svg" "$5" "$3"
  printf '%s\r\n%s\r\n%s\r\n' "<META -----Welcome to Velkin web. >" \
    "<META -----Velkin web 2.0    HomePage: https://www.velkinweb.example >" \
    "<META NAME=pageurl  Content=$4 >" > "$folder/$stem.htm"
  cat >> "$folder/$stem.htm" <<HTML
<HTML><HEAD><TITLE>$3</TITLE></HEAD>
<BODY style="font-family:sans-serif;margin:24px;color:#223">
<H1>$3</H1><P><IMG src="$stem.files/picture.svg" alt="$3"></P>
<P>Saved from <A href="$4">$4</A>. A page of the sample knowledge base, kept with its picture in
the companion folder beside it.</P></BODY></HTML>
HTML
}

page "Recipes" "Sourdough starter" "Sourdough starter" "https://bread.example/starter" "#b5651d"
page "Recipes/Breads" "Rye loaf" "Rye loaf" "https://bread.example/rye" "#8b5a2b"
page "Recipes/Soups" "Onion soup" "Onion soup" "https://soup.example/onion" "#c08a2e"
page "Travel" "Lisbon in three days" "Lisbon in three days" "https://travel.example/lisbon" "#2e6db4"
page "Travel/Maps" "Tram 28" "Tram 28" "https://travel.example/tram28" "#3b7a3b"
page "Science" "How tides work" "How tides work" "https://science.example/tides" "#35608f"
mkdir -p "$book/Reading list"

# The file types the save dialog offers.
mkdir -p "$XDG_DATA_HOME/velkin"
printf '%s\r\n' zip "Zip archive" 1 pdf "PDF document" 1 mp3 "MP3 sound" 0 doc "Word document" 0 \
  > "$XDG_DATA_HOME/velkin/filetype.ini"

"$velkin" registry set 'HKLM\SOFTWARE\Kestrova' BookPath "$book"
mkdir -p "$out"
out=$(cd "$out" && pwd)
xvfb-run -a -s "-screen 0 1280x860x24" "$kestrova" --screenshot="$out" "$book/Recipes/Sourdough starter.htm"

# The capture dialog over a page in Chromium, through the extension, the
# native host and the capture library (needs chromium and the browser tests'
# node packages: bash scripts/npm-ensure.sh tests/e2e).
shots=(main_window tree_context_menu save_dialog)
library="$build/iecapture/libmarrowind.so"
if [[ -f "$library" && -d "$(dirname "$0")/../tests/e2e/node_modules/playwright-core" ]]; then
  VELKIN_CLI="$(cd "$(dirname "$velkin")" && pwd)/velkin" VELKIN_LIBRARY="$(cd "$(dirname "$library")" && pwd)/libmarrowind.so" \
    xvfb-run -a -s "-screen 0 1280x860x24" node "$(dirname "$0")/capture_dialog_shot.mjs" "$out/capture_dialog.png" \
    > /dev/null || true
  shots+=(capture_dialog)
else
  echo "screenshot.sh: no capture dialog picture (needs $library and the node packages of tests/e2e)" >&2
fi

status=0
for shot in "${shots[@]}"; do
  if [[ -s "$out/$shot.png" ]]; then
    echo "$out/$shot.png"
  else
    echo "screenshot.sh: $shot.png was not written" >&2
    status=1
  fi
done
exit $status
