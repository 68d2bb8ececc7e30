#!/usr/bin/env bash
# Takes the screenshots in docs/: Zephyn under Xvfb on the bundled samples.
# Needs xvfb, x11-apps and netpbm (Debian packages).
set -euo pipefail
cd "$(dirname "$0")/.."

# shot <sample> <png>: starts Zephyn on a fresh data directory holding the
# sample as its machine hive and takes the screen once the window is up.
shot() {
    local home
    home=$(mktemp -d)
    mkdir -p "$home/registry"
    cp "samples/registry/$1" "$home/registry/HKEY_LOCAL_MACHINE.reg"
    xvfb-run -a -s "-screen 0 620x450x24" bash -c "
        ZEPHYN_HOME=$home build/bin/zephyn & pid=\$!
        sleep 2
        xwd -root -silent | xwdtopnm 2>/dev/null | pnmtopng > $2
        kill \$pid"
    rm -rf "$home"
}

shot win98.reg docs/main-window.png
shot nt4.reg docs/settings-page-nt.png
