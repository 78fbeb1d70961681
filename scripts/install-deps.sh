#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Idempotent: packages already present are left alone, and the package lists
# are refreshed only when something is missing.
set -euo pipefail

packages=(
  # build and tests
  cmake g++ make pkg-config libgtest-dev
  # settings store
  libsqlite3-dev
  # capture engine: downloads, HTML parsing; tests: loopback HTTP server
  libcurl4-openssl-dev libgumbo-dev libcpp-httplib-dev libssl-dev zlib1g-dev libbrotli-dev openssl
  # native messaging: the browser's JSON messages (document snapshots)
  nlohmann-json3-dev
  # e-books: the compiled-help compiler and lister
  fp-utils
  # fuzzing (scripts/fuzz.sh)
  clang libclang-rt-14-dev
  # benchmarks compare against these
  findutils grep wget curl
  # fidelity benchmark (bench/fidelity): headless browser, its runner, fonts
  # for its pages. Its node packages come from npm when it first runs.
  chromium nodejs fonts-dejavu-core
  # browser capture smoke test in Firefox ESR (tests/e2e/firefox.test.mjs)
  firefox-esr
  # main program: Qt 6 Widgets and WebEngine (the SVG plugins for its icons
  # are added below); Xvfb for screenshots; the desktop CHM viewer
  qt6-base-dev qt6-webengine-dev xvfb xauth xchm
  # screenshots of the browser's own context menu (scripts/flash_shots.mjs):
  # a right click on the virtual display and a picture of the whole screen
  xdotool imagemagick
)

installed() {
  [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" == "install ok installed" ]]
}

# The program's icons are SVG files: without Qt's SVG image and icon plugins
# every toolbar button is blank. Newer Debian releases ship the plugins as
# qt6-svg-plugins; bookworm ships them inside libqt6svg6.
svg_plugins_installed() {
  installed qt6-svg-plugins ||
    { installed libqt6svg6 && dpkg -L libqt6svg6 | grep '/imageformats/libqsvg\.so$' >/dev/null; }
}

missing=()
for package in "${packages[@]}"; do
  installed "$package" || missing+=("$package")
done
# npm ships inside some nodejs builds (which then conflict with Debian's
# npm package): the package is wanted only where the command is absent.
command -v npm >/dev/null || installed npm || missing+=(npm)
svg_missing=0
svg_plugins_installed || svg_missing=1

# The pinned node packages: the browser end-to-end tests' (tests/e2e) and the
# Flash preview's player (flash/ruffle). Without them (no registry in reach)
# those tests are not registered and the preview says the player is missing:
# a warning only.
install_node_packages() {
  local root
  root="$(cd "$(dirname "$0")/.." && pwd)"
  bash "$root/scripts/npm-ensure.sh" "$root/tests/e2e" install-deps ||
    echo "install-deps: warning: the browser end-to-end tests stay off until npm ci succeeds in tests/e2e" >&2
  # The Flash preview's player (flash/ruffle), copied into share/velkin/ruffle by the build.
  bash "$root/scripts/npm-ensure.sh" "$root/flash/ruffle" install-deps ||
    echo "install-deps: warning: the Flash preview says the player is missing until npm ci succeeds in flash/ruffle" >&2
}

if ((${#missing[@]} == 0 && svg_missing == 0)); then
  install_node_packages
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
"${sudo[@]}" apt-get update -qq
if ((svg_missing)); then
  # Asked only after the update, so a fresh machine's empty lists cannot
  # hide the package that holds the plugins.
  if apt-cache show qt6-svg-plugins >/dev/null 2>&1; then
    missing+=(qt6-svg-plugins)
  else
    missing+=(libqt6svg6)
  fi
fi
echo "install-deps: installing ${missing[*]}"
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
install_node_packages
