#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Builds the fuzz targets (the fuzz preset: clang 14, ASan, UBSan, libFuzzer) and runs each one for
# SECONDS (default 300) over its corpus in fuzz/corpus, or only the TARGETs named (frame_reader, …).
#   scripts/fuzz.sh [SECONDS [TARGET…]]
# Inputs that find new paths go to build/fuzz/corpus/<target>, never into the committed corpus; a crash
# is saved in build/fuzz/crashes/<target>/ and fails the script once every target has run. Each run's log
# is build/fuzz/logs/<target>.log.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-300}
if [ $# -gt 0 ]; then shift; fi
scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz

targets=("$@")
if [ ${#targets[@]} -eq 0 ]; then
    for dir in fuzz/corpus/*/; do targets+=("$(basename "$dir")"); done
fi
failed=()
for target in "${targets[@]}"; do
    work=build/fuzz/corpus/$target crashes=build/fuzz/crashes/$target log=build/fuzz/logs/$target.log
    mkdir -p "$work" "$crashes" "$(dirname "$log")"
    if build/fuzz/fuzz/fuzz_"$target" -max_total_time="$seconds" -timeout=10 -print_final_stats=1 \
        -dict=fuzz/json.dict -artifact_prefix="$crashes/" "$work" "fuzz/corpus/$target" >"$log" 2>&1; then
        echo "fuzz_$target: $(grep -m1 -o 'Done [0-9]* runs in [0-9]* second(s)' "$log")"
    else
        echo "fuzz_$target FAILED; the end of $log:"
        tail -n 60 "$log"
        failed+=("$target")
    fi
done
if [ ${#failed[@]} -gt 0 ]; then
    echo "Failed: ${failed[*]}"
    exit 1
fi
