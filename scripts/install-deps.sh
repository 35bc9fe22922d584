#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs the Debian packages the Player needs to build, run, test and package.
# librsvg2-bin renders the icon sizes; libqt6svg6 draws the SVG window icon; desktop-file-utils and
# appstream validate the desktop metadata; dpkg-dev and file let CPack work out package dependencies.
# libzxing-dev reads the Host's QR code; qt6-multimedia-dev brings the camera, which its GStreamer
# backend finds and opens through gstreamer1.0-plugins-good (V4L2); libqrencode-dev only draws codes for
# the tests. clang-14 and libclang-rt-14-dev (libFuzzer) build the fuzz targets.
# Idempotent: does nothing when everything is already installed.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools libgl-dev
    libssl-dev libavahi-client-dev libasound2-dev
    avahi-daemon dbus iproute2 clang-format
    librsvg2-bin libqt6svg6 desktop-file-utils appstream dpkg-dev file
    libzxing-dev qt6-multimedia-dev gstreamer1.0-plugins-good libqrencode-dev
    clang-14 libclang-rt-14-dev
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
