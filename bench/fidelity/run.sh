#!/usr/bin/env bash
# Runs the fidelity benchmark (run.mjs; see there for its figures and
# settings), first installing its pinned node packages into node_modules
# here when they are missing or older than package-lock.json.
#
#   bench/fidelity/run.sh [VELKIN]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

for tool in node npm wget; do
  if ! command -v "$tool" >/dev/null; then
    echo "fidelity: $tool not found (bash scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done

# playwright-core, pinned in package.json, needs node 20 or newer.
if (($(node -p 'process.versions.node.split(".")[0]') < 20)); then
  echo "fidelity: node $(node --version) is too old: the benchmark needs node 20 or newer" >&2
  exit 1
fi

installed="$here/node_modules/.package-lock.json"
if [[ ! -f "$installed" || "$here/package-lock.json" -nt "$installed" ]]; then
  echo "# installing the benchmark's node packages (npm ci)" >&2
  if ! (cd "$here" && npm ci --no-audit --no-fund --loglevel=error >&2); then
    echo "fidelity: npm ci failed in $here (is the npm registry reachable?)" >&2
    exit 1
  fi
fi

exec node "$here/run.mjs" "$@"
