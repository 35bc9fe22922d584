#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds a release tree, packages it with CPack and checks what the .deb holds and depends on.
# check-deb.sh SOURCE_DIR BUILD_DIR VERSION; BUILD_DIR is reused, so later runs are incremental.
set -euo pipefail
source_dir=$1 build_dir=$2 version=$3

fail() { echo "FAIL: $*" >&2; exit 1; }

# Only the Player and its icons: installing must not wait for the tools and benchmarks.
cmake -S "$source_dir" -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release -DPGW_BUILD_TESTS=OFF \
    -DCMAKE_SKIP_INSTALL_ALL_DEPENDENCY=ON >/dev/null
nice -n 10 cmake --build "$build_dir" --parallel "${CMAKE_BUILD_PARALLEL_LEVEL:-$(nproc)}" --target pagewright-player pagewright-player-icons

rm -f "$build_dir"/*.deb
(cd "$build_dir" && cpack -G DEB >/dev/null)
deb=$build_dir/pagewright-player_${version}_$(dpkg --print-architecture).deb
[ -f "$deb" ] || fail "cpack did not make $deb: $(ls "$build_dir"/*.deb 2>/dev/null)"

contents=$(dpkg-deb --contents "$deb" | awk '{print $NF}')
for path in \
    usr/bin/pagewright-player \
    usr/share/applications/pagewright-player.desktop \
    usr/share/metainfo/io.pagewright.Player.metainfo.xml \
    usr/share/icons/hicolor/scalable/apps/pagewright-player.svg \
    usr/share/icons/hicolor/16x16/apps/pagewright-player.png \
    usr/share/icons/hicolor/48x48/apps/pagewright-player.png \
    usr/share/icons/hicolor/256x256/apps/pagewright-player.png \
    usr/share/icons/hicolor/512x512/apps/pagewright-player.png \
    usr/share/pagewright-player/demo/demo-page-1.png \
    usr/share/pagewright-player/demo/demo-page-2.png \
    usr/share/pagewright-player/demo/demo-page-3.png; do
    grep -qx "\./$path" <<<"$contents" || fail "$path is not in the package"
done

# dpkg-shlibdeps adds the libraries; the rest are loaded at run time and must be named by hand.
depends=$(dpkg-deb -f "$deb" Depends)
for package in libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 libqt6dbus6 libssl3 \
    libavahi-client3 libasound2 avahi-daemon qt6-qpa-plugins libqt6svg6; do
    grep -Eq "(^|, )$package( |,|$)" <<<"$depends" || fail "Depends lacks $package: $depends"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "version is not $version"
[ "$(dpkg-deb -f "$deb" Section)" = sound ] || fail "section is not sound"

# The unpacked tree as AppStream tools see it: metainfo, desktop entry and icon together.
tree=$(mktemp -d)
trap 'rm -rf "$tree"' EXIT
dpkg-deb -x "$deb" "$tree"
if ! report=$(appstreamcli validate-tree --no-net --strict "$tree" 2>&1); then
    printf '%s\n' "$report"
    fail "AppStream rejects the installed tree"
fi
control=$(dpkg-deb --ctrl-tarfile "$deb" | tar -t)
grep -qx './postinst' <<<"$control" && grep -qx './postrm' <<<"$control" || fail "no postinst or postrm"
echo "ok: $deb"
