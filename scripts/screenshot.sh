#!/usr/bin/env bash
# Takes pictures of the main program on a small sample knowledge base: the
# main window, the project tree's context menu, the save dialog, Edit Source
# on a long page with the Find dialog over it, Search Options and the search
# bar's result, and Check new version answered by an update server on
# 127.0.0.1 that this script starts (python3's http.server); and of the
# capture dialog shown over a page in Chromium; of the Flash save dialog
# with its preview playing a movie; and of the Flash extension in Chromium:
# the Flash bar over a movie, the browser's context menu on a movie, the
# Flash folder panel (scripts/flash_shots.mjs). All under a virtual X
# display (xvfb-run). Builds nothing: give it a build folder that holds
# app/kestrova and cli/velkin.
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
for tool in xvfb-run python3; do
  if ! command -v "$tool" > /dev/null; then
    echo "screenshot.sh: $tool is missing (Debian packages xvfb and python3)" >&2
    exit 1
  fi
done

work=$(mktemp -d "${TMPDIR:-/tmp}/velkin-shots-XXXXXX")
server_pid=
cleanup() {
  if [[ -n "$server_pid" ]]; then kill "$server_pid" 2> /dev/null || true; fi
  rm -rf "$work"
}
trap cleanup EXIT
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
# in the page's companion folder. The text is BODY when given.
page() {  # CATEGORY NAME TITLE ADDRESS COLOUR [BODY]
  local folder="$book/$1" stem="$2"
  mkdir -p "$folder"
  picture "$folder/$stem.files/picture.svg" "$5" "$3"
  printf '%s\r\n%s\r\n%s\r\n' "<META -----Welcome to Velkin web. >" \
    "<META -----Velkin web 2.0    HomePage: https://www.velkinweb.example >" \
    "<META NAME=pageurl  Content=$4 >" > "$folder/$stem.htm"
  local body=${6:-"<P>Saved from <A href=\"$4\">$4</A>. A page of the sample knowledge base, kept with its
picture in the companion folder beside it.</P>"}
  cat >> "$folder/$stem.htm" <<HTML
<HTML><HEAD><TITLE>$3</TITLE></HEAD>
<BODY style="font-family:sans-serif;margin:24px;color:#223">
<H1>$3</H1><P><IMG src="$stem.files/picture.svg" alt="$3"></P>
$body</BODY></HTML>
HTML
}

# The text of the long page the pictures of Edit Source show: a recipe with
# a style sheet, a script, comments, tables and lists.
starter_body() {
  cat <<'HTML'
<STYLE type="text/css">
  /* Print the schedule without the navigation. */
  table.schedule { border-collapse: collapse; margin: 12px 0; }
  table.schedule td, table.schedule th { border: 1px solid #c9b79c; padding: 4px 10px; }
  .note { background: #fff6e5; border-left: 4px solid #b5651d; padding: 8px 12px; }
</STYLE>
<SCRIPT type="text/javascript">
  // Shows the grams for the chosen number of loaves.
  function scale(loaves) {
    var cells = document.querySelectorAll("td[data-grams]");
    for (var i = 0; i < cells.length; i++) {
      cells[i].textContent = cells[i].getAttribute("data-grams") * loaves + " g";
    }
  }
</SCRIPT>
<!-- Introduction -->
<P class="lead">A sourdough starter is flour and water that wild yeast and lactic bacteria have made
their home. Kept fed, it raises bread for years. This page walks through the first week,
the daily feeding and what to do when the starter misbehaves.</P>
<P>Saved from <A href="https://bread.example/starter">bread.example</A> with its picture.</P>

<H2 id="need">What you need</H2>
<TABLE class="schedule">
  <TR><TH>Ingredient</TH><TH>Day 1</TH><TH>Each feeding</TH></TR>
  <TR><TD>Wholemeal rye flour</TD><TD data-grams="50">50 g</TD><TD data-grams="25">25 g</TD></TR>
  <TR><TD>Strong white flour</TD><TD data-grams="50">50 g</TD><TD data-grams="25">25 g</TD></TR>
  <TR><TD>Water at 26 &deg;C</TD><TD data-grams="100">100 g</TD><TD data-grams="50">50 g</TD></TR>
</TABLE>
<P>A clean glass jar of about one litre, a loose lid and a rubber band to mark the level.</P>

<!-- The first week, day by day -->
<H2 id="week">The first week</H2>
<OL>
  <LI><B>Day 1.</B> Stir the flours and the water into a thick paste. Cover loosely and leave it
      somewhere warm, 24 to 27 &deg;C is ideal.</LI>
  <LI><B>Day 2.</B> A few bubbles may show, or nothing at all. Leave it alone.</LI>
  <LI><B>Day 3.</B> Discard all but 50 g, then feed with 25 g of each flour and 50 g of water.</LI>
  <LI><B>Day 4.</B> The smell turns sharp, like nail varnish: the bacteria are winning for now.
      Feed as on day 3.</LI>
  <LI><B>Day 5.</B> Feed twice, twelve hours apart.</LI>
  <LI><B>Day 6.</B> The starter should double within six hours of a feeding.</LI>
  <LI><B>Day 7.</B> When it doubles reliably and smells of yoghurt, it is ready to bake with.</LI>
</OL>

<DIV class="note">Tip: mark the level with the rubber band right after feeding, so you can see
how far the starter rose.</DIV>

<!-- Keeping it -->
<H2 id="keep">Keeping the starter</H2>
<P>At room temperature, feed once or twice a day. In the fridge, feed once a week: take it out,
discard, feed and leave it for two hours before it goes back.</P>
<UL>
  <LI>Use it at its peak, when the dome has just started to flatten.</LI>
  <LI>A layer of grey liquid on top (hooch) means it is hungry: pour it off and feed.</LI>
  <LI>Rye flour makes a livelier starter than white flour alone.</LI>
</UL>

<!-- Troubleshooting -->
<H2 id="trouble">When things go wrong</H2>
<DL>
  <DT>No bubbles after five days</DT>
  <DD>Move the jar somewhere warmer and use wholemeal flour for the next feedings.</DD>
  <DT>Pink or orange streaks</DT>
  <DD>Throw it away and start again with a clean jar.</DD>
  <DT>It rises and falls within two hours</DT>
  <DD>It is too warm or underfed: feed at a ratio of 1:5:5 instead of 1:1:1.</DD>
</DL>
<P><A href="#need">Back to the top</A> &middot; <A href="https://bread.example/rye">Next: a rye loaf</A></P>
<SCRIPT type="text/javascript">scale(1);</SCRIPT>
HTML
}

page "Recipes" "Sourdough starter" "Sourdough starter" "https://bread.example/starter" "#b5651d" "$(starter_body)"
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

# The update server Check new version asks: a static file server on
# 127.0.0.1 holding the notice, on a port free at the moment.
site="$work/site"
mkdir -p "$site/english/kestrova"
printf '%s\r\n' "Latest Version: Velkin Web 2.6" "Released: 2026-11-30" \
  "What is new: faster Edit Source on large pages, search by page address." \
  "Download: https://www.velkinweb.example/download/" > "$site/english/kestrova/version.ini"
port=$(python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
python3 -m http.server --bind 127.0.0.1 --directory "$site" "$port" > /dev/null 2>&1 &
server_pid=$!
for _ in $(seq 50); do
  if python3 -c "import socket, sys; socket.create_connection(('127.0.0.1', $port), 0.2)" 2> /dev/null; then break; fi
  sleep 0.1
done

"$velkin" registry set 'HKLM\SOFTWARE\Kestrova' BookPath "$book"
"$velkin" registry set 'HKLM\SOFTWARE\Kestrova' UpdateServer "http://127.0.0.1:$port/"
mkdir -p "$out"
out=$(cd "$out" && pwd)
xvfb-run -a -s "-screen 0 1280x860x24" "$kestrova" --screenshot="$out" "$book/Recipes/Sourdough starter.htm"

# The capture dialog over a page in Chromium, through the extension, the
# native host and the capture library (needs chromium and the browser tests'
# node packages: bash scripts/npm-ensure.sh tests/e2e).
shots=(main_window tree_context_menu save_dialog edit_source find_dialog search_options search_result check_version)
library="$build/iecapture/libmarrowind.so"
if [[ -f "$library" && -d "$(dirname "$0")/../tests/e2e/node_modules/playwright-core" ]]; then
  VELKIN_CLI="$(cd "$(dirname "$velkin")" && pwd)/velkin" VELKIN_LIBRARY="$(cd "$(dirname "$library")" && pwd)/libmarrowind.so" \
    xvfb-run -a -s "-screen 0 1280x860x24" node "$(dirname "$0")/capture_dialog_shot.mjs" "$out/capture_dialog.png" \
    > /dev/null || true
  shots+=(capture_dialog)
else
  echo "screenshot.sh: no capture dialog picture (needs $library and the node packages of tests/e2e)" >&2
fi

# The Flash save dialog with its preview playing a movie served from
# 127.0.0.1, through glintcatch-host and libglintcatch.so.
flash_library="$build/flash/libglintcatch.so"
flash_host="$build/flash/host/glintcatch-host"
if [[ -f "$flash_library" && -x "$flash_host" ]]; then
  "$velkin" register "$flash_library" --host "$flash_host" > /dev/null
  flash_folder="$work/Flash"
  mkdir -p "$flash_folder/Cartoons" "$flash_folder/Games/Puzzles" "$flash_folder/Music"
  for key in 'HKLM\SOFTWARE\Kestrova' 'HKLM\Software\Marrowind\Glintcatch'; do
    "$velkin" registry set "$key" SavePath "$flash_folder"
  done
  xvfb-run -a -s "-screen 0 1280x860x24" env QT_QPA_PLATFORM=xcb \
    python3 "$(dirname "$0")/flash_save_shot.py" "$flash_host" "$out/flash_save_dialog.png" > /dev/null || true
  shots+=(flash_save_dialog)
else
  echo "screenshot.sh: no Flash save dialog picture (needs $flash_library and $flash_host)" >&2
fi

# The Flash extension as the build assembles it, with glintcatch-host and
# libglintcatch.so (needs chromium, xdotool and ImageMagick's import for the
# context menu, and the browser tests' node packages).
flash_extension="$build/extensions/glintcatch"
if [[ -f "$flash_library" && -f "$flash_extension/manifest.json" && -d "$(dirname "$0")/../tests/e2e/node_modules/playwright-core" ]] &&
  command -v xdotool > /dev/null && command -v import > /dev/null; then
  VELKIN_CLI="$(cd "$(dirname "$velkin")" && pwd)/velkin" VELKIN_GLINTCATCH_LIBRARY="$(cd "$(dirname "$flash_library")" && pwd)/libglintcatch.so" \
    VELKIN_GLINTCATCH_EXTENSION="$(cd "$flash_extension" && pwd)" \
    xvfb-run -a -s "-screen 0 1280x860x24" node "$(dirname "$0")/flash_shots.mjs" "$out" > /dev/null || true
  shots+=(flash_bar flash_menu flash_panel)
else
  echo "screenshot.sh: no Flash pictures (needs $flash_library, $flash_extension, xdotool, import and the node packages of tests/e2e)" >&2
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
