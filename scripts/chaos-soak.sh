#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Runs the Player through 1,000 faults of the Host simulator's chaos engine (CI runs 100). Runs in the
# configured test tree (BUILD_DIR, build/test by default); PGW_CHAOS_SEED picks another schedule or
# replays a reported one.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${BUILD_DIR:-build/test}
cmake --build "$build" --target test_chaos_soak
PGW_CHAOS_FAULTS=${PGW_CHAOS_FAULTS:-1000} QTEST_FUNCTION_TIMEOUT=3600000 \
    ctest --test-dir "$build" -R '^test_chaos_soak$' --timeout 3600 --output-on-failure "$@"
