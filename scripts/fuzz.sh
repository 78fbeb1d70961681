#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer (address and undefined
# behaviour sanitizers on) and runs each for a bounded time, in a temporary
# working folder so that nothing a target writes lands elsewhere.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET] (default 60)
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/.." && pwd)
build="$root/build-fuzz"
bash "$root/scripts/install-deps.sh"
cmake -S "$root" -B "$build" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DVELKIN_FUZZ=ON -DVELKIN_BUILD_TESTS=ON >/dev/null
cmake --build "$build" -j"$(nproc)" --target fuzz_targets
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for target in "$build"/tests/fuzz/fuzz_*; do
  [[ -x "$target" && -f "$target" ]] || continue
  name=$(basename "$target")
  corpus="$root/tests/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$work/$name/new"
  echo "== $name: ${seconds}s"
  # New inputs go to a scratch corpus; the seeds in the tree stay as they are.
  if ! (cd "$work/$name" && "$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -artifact_prefix="$work/$name/" "$work/$name/new" "$corpus"); then
    echo "!! $name found a failure; the input is in $work/$name (kept)"
    trap - EXIT
    status=1
  fi
done
exit $status
