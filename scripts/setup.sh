#!/usr/bin/env bash
# Installs what a fresh Debian 12 machine lacks, then configures and builds
# Quillbox in build/. Sourced by run.sh and test.sh.
set -euo pipefail

QUILLBOX_PACKAGES=(
    build-essential cmake pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
    libgl-dev libarchive-dev libicu-dev libseccomp-dev libssl-dev
    zlib1g-dev libbz2-dev liblzma-dev libzstd-dev liblz4-dev
    libarchive-tools 7zip xvfb xauth fonts-dejavu-core fonts-noto-cjk
)

quillbox_install_packages() {
    local missing=()
    for pkg in "${QUILLBOX_PACKAGES[@]}"; do
        if ! dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed"; then
            missing+=("$pkg")
        fi
    done
    [ ${#missing[@]} -eq 0 ] && return 0
    echo "Installing: ${missing[*]}"
    local sudo=()
    [ "$(id -u)" -ne 0 ] && sudo=(sudo)
    "${sudo[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
}

quillbox_build() {
    local root
    root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
    cmake -S "$root" -B "$root/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
    cmake --build "$root/build" -j "$(nproc)"
}

quillbox_install_packages
quillbox_build
