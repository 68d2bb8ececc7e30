#!/usr/bin/env bash
# Installs the Debian packages Zephyn needs to build, run and test, when missing
# (the FTP servers and the proxy are the real peers the tests and benchmarks start
# on 127.0.0.1 themselves; poppler-utils renders the printed chart's PDF in its test;
# desktop-file-utils and appstream validate the installed desktop entry and metadata;
# hivex and libcreg read a Windows installation's registry files, and hivex's,
# libregf's and libcreg's own tools check the test fixtures).
# With --fuzz it also installs clang and its libFuzzer and sanitizer runtimes;
# with --shaped, iproute2 (ip netns, tc) for the shaped-link benchmark; with --deb,
# what builds and checks the Debian package (make deb).
set -euo pipefail
packages=(g++ make cmake pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev
          libgtest-dev libgmock-dev fonts-dejavu-core
          vsftpd python3-pyftpdlib ftp-proxy curl poppler-utils
          desktop-file-utils appstream man-db
          libhivex-dev libcreg-dev libbfio-dev libhivex-bin libregf-utils libcreg-utils)
[[ "${1:-}" == "--fuzz" ]] && packages+=(clang libclang-rt-dev)
[[ "${1:-}" == "--shaped" ]] && packages+=(iproute2)
[[ "${1:-}" == "--deb" ]] && packages+=(git dpkg-dev debhelper lintian)
missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0
sudo=""
[[ $(id -u) -eq 0 ]] || sudo="sudo"
echo "Installing: ${missing[*]}"
$sudo apt-get update -q
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends "${missing[@]}"
