#!/usr/bin/env bash
# Builds the documentation site into build/docs/html (needs the "docs" extra and
# the package installed). Warnings are errors; every example on the pages runs.
#   bash scripts/docs.sh
set -euo pipefail
cd "$(dirname "$0")/.."
rm -rf build/docs
start=$(date +%s)
python3 -m sphinx -b html -W --keep-going -q -d build/docs/doctrees docs build/docs/html
echo "docs: build/docs/html/index.html ($(find build/docs/html -name '*.html' -not -path '*/_examples/*' | wc -l) pages, $(( $(date +%s) - start )) s)"
