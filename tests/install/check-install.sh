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
         share/icons/hicolor/256x256/apps/$id.png share/doc/zephyn/Zephyn.html share/man/man1/zephyn.1; do
    [[ -f "$prefix/$f" ]] || { echo "missing: $f"; exit 1; }
done
[[ ! -e "$prefix/bin/portable" ]] || { echo "an installed copy must not be portable"; exit 1; }
desktop-file-validate "$prefix/share/applications/$id.desktop"
appstreamcli validate --no-net "$prefix/share/metainfo/$id.metainfo.xml"
# The manual page renders without a warning from man or groff.
warnings=$(MANWIDTH=80 man --warnings -l "$prefix/share/man/man1/zephyn.1" 2>&1 >/dev/null)
[[ -z "$warnings" ]] || { echo "zephyn.1: $warnings"; exit 1; }
# The package's changelog and the metadata's latest release name the version
# the program reports.
source=$(cd "$(dirname "$0")/../.." && pwd)
version=$("$prefix/bin/zephyn" --version | sed -n 's/^zephyn //p')
changelog=$(sed -n '1s/^zephyn (\([^)]*\)).*/\1/p' "$source/debian/changelog")
release=$(grep -o '<release version="[^"]*"' "$source/data/$id.metainfo.xml" | head -1 | cut -d'"' -f2)
[[ "$changelog" == "$version" && "$release" == "$version" ]] || {
    echo "version $version, debian/changelog $changelog, metainfo $release"; exit 1; }
echo "install tree ok"
