#!/usr/bin/env bash
# Installs the pinned node packages of a folder (npm ci) when its
# node_modules is missing or older than its package-lock.json; otherwise
# does nothing. Needs node 20 or newer (playwright-core) and npm.
#
#   scripts/npm-ensure.sh FOLDER [NAME]     NAME prefixes the messages
set -euo pipefail
folder="$1"
name="${2:-npm-ensure}"

for tool in node npm; do
  if ! command -v "$tool" >/dev/null; then
    echo "$name: $tool not found (bash scripts/install-deps.sh installs it)" >&2
    exit 1
  fi
done
if (($(node -p 'process.versions.node.split(".")[0]') < 20)); then
  echo "$name: node $(node --version) is too old: node 20 or newer is needed" >&2
  exit 1
fi

installed="$folder/node_modules/.package-lock.json"
if [[ -f "$installed" && ! "$folder/package-lock.json" -nt "$installed" ]]; then
  exit 0
fi
echo "# $name: installing the node packages of $folder (npm ci)" >&2
if ! (cd "$folder" && npm ci --no-audit --no-fund --loglevel=error >&2); then
  echo "$name: npm ci failed in $folder (is the npm registry reachable?)" >&2
  exit 1
fi
