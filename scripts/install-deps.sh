#!/usr/bin/env bash
# Installs what the two builds and their tests need on Debian 12, and nothing
# when everything is already there (a dpkg query, well under a second).
#
#   scripts/install-deps.sh           # everything: native, asan, windows and fuzz builds
#   scripts/install-deps.sh native    # only what the native build needs
#
# Needs root or sudo only when something is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++
    libgtest-dev libgmock-dev googletest libbenchmark-dev
    nlohmann-json3-dev libcli11-dev
    libblkid-dev libudev-dev pkgconf fdisk fio e2fsprogs python3-prometheus-client
    fuse3 libfuse3-dev                            # the faulty medium of test/linux
    tmux                                          # the live view's terminal test
    chromium                                      # the report pages in a browser, their screenshots
    prometheus prometheus-node-exporter           # rules tests, the metrics chain end to end
    dpkg-dev file lintian man-db                  # the Debian package and its checks
    ansible-core ansible-lint systemd             # the playbook and unit checks
    gddrescue                                     # ddrescuelog: a witness of the scan's map files
    smartmontools udev                            # disk health (smartctl); udev in the test VM
    qemu-system-x86 busybox-static cpio kmod      # the test VM of test/vm
)
if [[ ${1:-all} != native ]]; then
    packages+=(wine wine32:i386 wine64 g++-mingw-w64-i686 g++-mingw-w64-x86-64 mingw-w64-tools libwine-dev nsis)
    packages+=(clang libclang-rt-14-dev)  # the fuzz harnesses (libFuzzer)
fi

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done

if [[ ${#missing[@]} -eq 0 ]]; then
    echo "install-deps: all ${#packages[@]} packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo=()
if [[ $(id -u) -ne 0 ]]; then
    command -v sudo >/dev/null || { echo "install-deps: need root or sudo" >&2; exit 1; }
    sudo=(sudo)
fi

export DEBIAN_FRONTEND=noninteractive
if [[ " ${missing[*]} " == *":i386 "* ]] && ! dpkg --print-foreign-architectures | grep -qx i386; then
    "${sudo[@]}" dpkg --add-architecture i386
fi
"${sudo[@]}" apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive \
    apt-get install -y -q --no-install-recommends "${missing[@]}"
