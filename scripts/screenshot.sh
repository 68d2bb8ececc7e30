#!/usr/bin/env bash
# Takes docs/main-window.png: Zephyn on the Windows 98 sample under Xvfb.
# Needs xvfb, x11-apps and netpbm (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."
home=$(mktemp -d)
xvfb-run -a -s "-screen 0 640x480x24" bash -c "
    ZEPHYN_HOME=$home build/bin/zephyn & pid=\$!
    sleep 2
    xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > docs/main-window.png
    kill \$pid"
rm -rf "$home"
