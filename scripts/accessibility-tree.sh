#!/usr/bin/env bash
# Starts Zephyn under Xvfb with the accessibility bus on, on a fresh data
# directory, and prints what a screen reader sees: roles and names of the
# controls. Needs the Debian packages xvfb, dbus-x11, at-spi2-core and
# python3-pyatspi.
set -euo pipefail
cd "$(dirname "$0")/.."
home=$(mktemp -d)
trap 'rm -rf "$home"' EXIT
xvfb-run -a -s "-screen 0 800x600x24" dbus-run-session -- bash -c "
    /usr/libexec/at-spi-bus-launcher --launch-immediately & sleep 1
    QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 ZEPHYN_HOME=$home ZEPHYN_PPPD=/bin/true build/bin/zephyn & pid=\$!
    /usr/bin/python3 scripts/accessibility-tree.py
    kill \$pid"
