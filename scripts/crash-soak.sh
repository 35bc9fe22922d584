#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Kills the store-writing child 1,000 times (CI kills it 100 times). Runs in the configured test
# tree (BUILD_DIR, build/test by default); PGW_CRASH_SEED replays a reported failure.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/test}
cmake --build "$build" --target test_crash_safety
PGW_CRASH_KILLS=${PGW_CRASH_KILLS:-1000} QTEST_FUNCTION_TIMEOUT=3600000 \
    ctest --test-dir "$build" -R '^test_crash_safety$' --timeout 3600 --output-on-failure "$@"
