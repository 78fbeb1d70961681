#!/usr/bin/env bash
# Runs the fidelity benchmark (run.mjs; see there for its figures and
# settings), first installing its pinned node packages into node_modules
# here when they are missing or older than package-lock.json.
#
#   bench/fidelity/run.sh [VELKIN]
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"

if ! command -v wget >/dev/null; then
  echo "fidelity: wget not found (bash scripts/install-deps.sh installs it)" >&2
  exit 1
fi
bash "$here/../../scripts/npm-ensure.sh" "$here" fidelity

exec node "$here/run.mjs" "$@"
