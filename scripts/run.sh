#!/usr/bin/env bash
# Starts the main program on the default knowledge base (the BookPath setting,
# else the "Project" folder in the data folder), creating that folder when it
# is missing.
set -euo pipefail
build=${1:-build}
book=$("$build/cli/velkin" book-dir --create)
echo "Knowledge base: $book"
echo "Drop a selection from a browser onto a category to capture it, or use:"
echo "  $build/cli/velkin capture URL --into CATEGORY"
exec "$build/app/kestrova"
