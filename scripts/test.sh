#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is needed, builds under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test, then builds the fuzz targets and runs each for 20 seconds over its corpus.
# Arguments go to ctest (for example -L unit or -R wire).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test "$@"
scripts/fuzz.sh 20
