#!/usr/bin/env bash
# Builds the Debian package in a clean copy of the tree and leaves
# zephyn_<version>_<arch>.deb in dist/. The copy is what git tracks, with any
# change not yet committed (git stash create leaves the work tree alone), so
# nothing the build makes lands in the work tree.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
scripts/install-deps.sh --deb
snapshot=$(git stash create)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
git archive --prefix=zephyn/ "${snapshot:-HEAD}" | tar -x -C "$work"
DEB_BUILD_OPTIONS="${DEB_BUILD_OPTIONS:+$DEB_BUILD_OPTIONS }parallel=${JOBS:-$(nproc)}"
export DEB_BUILD_OPTIONS
profiles=()
# nocheck skips the tests, and with them the servers they need at build time.
[[ " $DEB_BUILD_OPTIONS " != *" nocheck "* ]] || profiles=(-Pnocheck)
(cd "$work/zephyn" && dpkg-buildpackage -us -uc -b "${profiles[@]}")
mkdir -p dist
rm -f dist/zephyn_*.deb
cp "$work"/zephyn_*.deb dist/
ls dist/zephyn_*.deb
