#!/usr/bin/env bash
# Retakes the screenshots in docs/, rendered offscreen on the bundled samples.
set -euo pipefail
cd "$(dirname "$0")/.."
make build >/dev/null
build/bin/zephyn_screenshots samples/registry docs
# The installed icon's PNG sizes, from the same drawing as the program's icon.
build/bin/zephyn_screenshots --icons data/icons
