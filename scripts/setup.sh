#!/usr/bin/env bash
# Installs the Debian packages DB Text needs that are missing, then configures and builds.
# Used by both README commands; a second run on a ready machine installs nothing and only
# rebuilds what changed.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${DBTEXT_BUILD_DIR:-$root/build}"

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-private-dev qt6-translations-l10n libsqlite3-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    fonts-ipafont-gothic poppler-utils libreoffice-writer-nogui
    clang libclang-rt-14-dev desktop-file-utils xdg-utils libglib2.0-bin shared-mime-info unzip
    cups printer-driver-cups-pdf libcups2-dev
    libpq-dev postgresql-15
    xvfb openbox x11-utils xdotool libxml2-utils libfile-mimeinfo-perl
    manpages-ja python3-pypdf
)

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
        missing+=("$p")
    fi
done

if ((${#missing[@]})); then
    echo "setup: installing ${missing[*]}"
    if [ "$(id -u)" -eq 0 ]; then
        sudo=()
    elif command -v sudo >/dev/null; then
        sudo=(sudo)
    else
        echo "setup: run as root to install: ${missing[*]}" >&2
        exit 1
    fi
    export DEBIAN_FRONTEND=noninteractive
    "${sudo[@]}" apt-get update
    "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
fi

if [ ! -f "$build/build.ninja" ]; then
    cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
fi
cmake --build "$build"
