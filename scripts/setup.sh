#!/usr/bin/env bash
# Installs the Debian packages that building, testing and running need; a ready machine installs nothing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    clang libclang-rt-14-dev clang-tidy-14 clang-format-14
    libgtest-dev libgmock-dev libbenchmark-dev
    libssl-dev openssl ca-certificates curl
    dbus-daemon
    libxml2-dev libre2-dev libsqlite3-dev libzstd-dev zlib1g-dev
    qt6-base-dev qt6-multimedia-dev qt6-qpa-plugins libqt6svg6 qt6-translations-l10n
    dpkg-dev appstream desktop-file-utils
    fonts-noto-cjk locales
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ ${#missing[@]} -gt 0 ]; then
    echo "Installing: ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -eq 0 ] || sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -qq
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
