#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Validates the desktop entry or the AppStream metadata: check-metadata.sh desktop|metainfo FILE
set -uo pipefail
kind=$1 file=$2

case $kind in
desktop)
    out=$(desktop-file-validate "$file" 2>&1); rc=$?
    # Join links only reach the Player if it claims both schemes.
    for scheme in pagewright-player pagewright-player-mac; do
        grep -Eq "^MimeType=(.*;)?x-scheme-handler/$scheme;" "$file" \
            || { echo "$file does not handle $scheme: links"; rc=1; }
    done
    ;;
metainfo)
    out=$(appstreamcli validate --no-net --strict "$file" 2>&1); rc=$?
    # A clean run says only that validation was successful (pedantic hints are not shown).
    out=$(printf '%s\n' "$out" | grep -v -e '^$' -e 'Validation was successful')
    grep -q '<launchable type="desktop-id">pagewright-player.desktop</launchable>' "$file" \
        || { echo "$file does not launch pagewright-player.desktop"; rc=1; }
    ;;
*)
    echo "usage: $0 desktop|metainfo FILE" >&2
    exit 2
    ;;
esac

if [ -n "$out" ]; then
    printf '%s\n' "$out"
    rc=1
fi
exit $rc
