#!/usr/bin/env bash
# Runs one fuzz target for a number of seconds: scripts/fuzz.sh TARGET SECONDS
# TARGET is one of: settings choice connection cmdline dialect page findindex damagedindex (or fuzz_settings …).
# The seed corpus in fuzz/corpus/TARGET is copied to a scratch corpus, so the repository's seeds stay
# as they are; a finding (crash or violated property) is written to build-sanitize/findings/ and fails.
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${DBTEXT_SANITIZE_DIR:-$root/build-sanitize}"
if [ $# -ne 2 ]; then
    echo "usage: scripts/fuzz.sh TARGET SECONDS" >&2
    exit 2
fi
name="${1#fuzz_}"
seconds="$2"

if [ ! -f "$build/build.ninja" ]; then
    CC=clang CXX=clang++ cmake -S "$root" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Debug \
        -DCMAKE_CXX_FLAGS_DEBUG="-O1 -g1" -DDBTEXT_FUZZ=ON -DDBTEXT_BUILD_BENCH=OFF
fi
cmake --build "$build" -j "$(nproc)" --target "fuzz_$name"

scratch="$build/corpus/$name"
findings="$build/findings/$name"
mkdir -p "$scratch" "$findings"
cp -n "$root/fuzz/corpus/$name/"* "$scratch/" 2>/dev/null || true
export ASAN_OPTIONS="detect_leaks=0:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export QT_QPA_PLATFORM=offscreen
"$build/fuzz/fuzz_$name" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 \
    -artifact_prefix="$findings/" -print_final_stats=1 "$scratch"
