#!/bin/sh
# Renders demo.ly to the three 8-bit grayscale letter-size pages the demo show reads.
# Needs LilyPond (Debian: apt-get install lilypond); only run when demo.ly changes.
set -eu
cd "$(dirname "$0")"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
lilypond --png -dresolution=150 -dpixmap-format=pnggray -danti-alias-factor=2 -o "$work/demo" "$(pwd)/demo.ly"
for n in 1 2 3; do
    mv "$work/demo-page$n.png" "demo-page-$n.png"
done
if [ -e "$work/demo-page4.png" ]; then
    echo "demo.ly no longer fits on three pages" >&2
    exit 1
fi
