#!/usr/bin/env bash
# Runs each fuzz target for a bounded time: scripts/run-fuzz.sh <fuzz build> [seconds].
# FUZZ_TARGETS="fuzz_hive fuzz_regf" runs only those (several copies of the
# script may run side by side, one target each).
# New inputs go to <fuzz build>/corpus/<target> (the committed seeds in
# tests/fuzz/corpus stay as they are); a crash is kept in <fuzz build>/artifacts.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-fuzz}
seconds=${2:-20}
read -r -a targets <<<"${FUZZ_TARGETS:-fuzz_hive fuzz_regf fuzz_records fuzz_ftp_reply}"
mkdir -p "$build/artifacts"
# The record fuzzer writes its files here; tmpfs keeps it fast.
tmp=$(mktemp -d "${FUZZ_TMPDIR:-/dev/shm}/zephyn-fuzz.XXXXXX" 2>/dev/null || mktemp -d)
trap 'rm -rf "$tmp"' EXIT
# AddressSanitizer records the call stack of every allocation, walking frame
# pointers, which optimised code (Qt's libraries among it) does not keep, so
# the walk reads stray stack words as callers: nearly every stack is new, and the
# table that keeps them grew by kilobytes per input until a run met the 2 GB
# limit (fuzz_hive after 15 minutes). Two frames (the allocation and its
# caller) keep the table bounded; a crash's own stack is still walked in full.
# The quarantine of freed memory is bounded too (256 MB by default).
export ASAN_OPTIONS="${ASAN_OPTIONS:-quarantine_size_mb=64:malloc_context_size=2}"
status=0
# The hive seeds are written by the fixture writer, not kept as files.
[[ " ${targets[*]} " != *" fuzz_regf "* ]] || "$build/bin/make_regf_seeds" "$build/seeds/fuzz_regf"
for t in "${targets[@]}"; do
    mkdir -p "$build/corpus/$t"
    seeds="tests/fuzz/corpus/$t"
    [[ -d "$seeds" ]] || seeds="$build/seeds/$t"
    echo "== $t: ${seconds} s"
    if ! TMPDIR="$tmp" QT_QPA_PLATFORM=offscreen "$build/bin/$t" \
            -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -max_len=16384 \
            -print_final_stats=1 -artifact_prefix="$build/artifacts/$t-" \
            "$build/corpus/$t" "$seeds" 2>"$build/$t.log"; then
        tail -40 "$build/$t.log"
        status=1
    else
        grep -E '^stat::number_of_executed_units|^stat::peak_rss_mb' "$build/$t.log" | tr '\n' ' '
        echo
    fi
done
exit $status
