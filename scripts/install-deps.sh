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
  # e-books: the compiled-help compiler and lister
  fp-utils
  # fuzzing (scripts/fuzz.sh)
  clang libclang-rt-14-dev
  # benchmarks compare against these
  findutils grep wget curl
  # main program: Qt 6 Widgets and WebEngine; Xvfb for screenshots; the desktop CHM viewer
  qt6-base-dev qt6-webengine-dev xvfb xauth xchm
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]} == 0)); then
  exit 0
fi

sudo=()
if [[ $(id -u) -ne 0 ]]; then
  sudo=(sudo)
fi
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
