#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Installs what is needed, builds under AddressSanitizer and UndefinedBehaviorSanitizer
# and runs every test. Arguments go to ctest (for example -L unit or -R wire).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset test >/dev/null
cmake --build --preset test
ctest --preset test "$@"
