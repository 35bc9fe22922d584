#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Saves pictures of the Player's screens into docs/screenshots, with the Player's own window under Xvfb
# (a real X server, so fonts and dialogs look as they do on a desktop). Builds what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
missing=()
for p in xvfb xauth; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=()
    [ "$(id -u)" -eq 0 ] || sudo=(sudo)
    "${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
cmake --preset release >/dev/null
cmake --build --preset release --target pgw-screenshots
ASAN_OPTIONS=detect_leaks=0 xvfb-run -a -s "-screen 0 1300x960x24" build/release/tools/screenshots/pgw-screenshots docs/screenshots
