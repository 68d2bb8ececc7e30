#!/usr/bin/env bash
# Retakes the screenshots in docs/ (every page, the record dialog, the profile
# editor, the About box and the help window), rendered offscreen on the samples.
set -euo pipefail
cd "$(dirname "$0")/.."
make build >/dev/null
build/bin/zephyn_screenshots samples/registry docs
# The installed icon's PNG sizes, from the same drawing as the program's icon.
build/bin/zephyn_screenshots --icons data/icons
