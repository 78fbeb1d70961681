#!/usr/bin/env bash
# Starts the main job on the default knowledge base: shows its project tree,
# creating the book directory when it is missing.
set -euo pipefail
build=${1:-build}
velkin="$build/cli/velkin"
book=$("$velkin" book-dir --create)
echo "Knowledge base: $book"
"$velkin" list
echo
echo "To capture a page into it: save the page with its resources into a category folder"
echo "under $book (the browser capture and 'velkin capture URL --into CATEGORY' arrive next)."
