#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs a test on a private D-Bus session bus; exit 77 (skip) when none can be started.
command -v dbus-run-session >/dev/null || { echo "SKIP: dbus-run-session is not installed"; exit 77; }
exec dbus-run-session -- "$@"
