#!/usr/bin/env bash
# Installs the build into a temporary prefix and checks the tree: the files,
# no portable marker beside the installed executable, and the validators.
set -euo pipefail
build=$1
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT
cmake --install "$build" --prefix "$prefix" >/dev/null
id=example.brindlecove.Zephyn
for f in bin/zephyn share/applications/$id.desktop share/metainfo/$id.metainfo.xml \
         share/icons/hicolor/scalable/apps/$id.svg share/icons/hicolor/48x48/apps/$id.png \
         share/icons/hicolor/256x256/apps/$id.png share/doc/zephyn/Zephyn.html; do
    [[ -f "$prefix/$f" ]] || { echo "missing: $f"; exit 1; }
done
[[ ! -e "$prefix/bin/portable" ]] || { echo "an installed copy must not be portable"; exit 1; }
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
echo "install tree ok"
