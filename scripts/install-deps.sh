#!/usr/bin/env bash
# Installs the Debian 12 packages needed to build, run and test Kestro Setup.
# Idempotent: packages already present are not touched, and apt is not called at all when
# nothing is missing.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config
    libgtest-dev libgmock-dev googletest
    libcli11-dev nlohmann-json3-dev
    qt6-base-dev qt6-svg-dev
    qt6-base-private-dev # the window tests switch on Qt's accessibility layer through it
    fonts-dejavu-core # Debian's default font: the window tests measure the status line in it
    clang libclang-rt-14-dev
    xvfb xauth
    python3-serial
)
if [ "$#" -gt 0 ]; then
    packages+=("$@")
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done

if [ "${#missing[@]}" -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi

echo "install-deps: installing ${missing[*]}"
sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    sudo_cmd=(sudo)
fi
export DEBIAN_FRONTEND=noninteractive
"${sudo_cmd[@]}" apt-get update -qq
"${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
