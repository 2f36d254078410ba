#!/usr/bin/env bash
# Builds a release build in build-bench, runs the reader benchmarks (Google Benchmark) and the
# whole-program driver, and prints every figure in one table: measured, baseline from the same run,
# ratio, goal. Slow (several minutes, up to 5 GiB of temporary files); not part of scripts/test.sh.
#   scripts/bench.sh [runs per whole-program figure, default 5 [check|extraction|tool|install: only those]]
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${1:-5}
only=${2:-}
scripts/install-deps.sh
scripts/build.sh build-bench -DINSTALLER_BUILD_TESTS=OFF

figures=$(mktemp)
trap 'rm -f "$figures"' EXIT

if [ -z "$only" ]; then
    echo "== Reader benchmarks"
    # Repetitions of every benchmark interleaved with those of its baseline, so that a machine whose
    # load changes meanwhile slows both alike.
    build-bench/benchmarks/installer_benchmarks --benchmark_color=false --benchmark_enable_random_interleaving=true | tee -a "$figures"
fi

echo "== Whole-program figures ($runs runs each, medians)"
build-bench/benchmarks/installer_perf "$runs" $only | tee -a "$figures"

echo
echo "== Figures ($(nproc) cores, load $(cut -d' ' -f1-3 /proc/loadavg))"
# The console reporter may leave a colour reset code in front of the first figure.
sed 's/\x1b\[[0-9;]*m//g' "$figures" | grep '^FIGURE' | awk -F'\t' '
    BEGIN { n = 1; row[1, 1] = "figure"; row[1, 2] = "measured"; row[1, 3] = "baseline"; row[1, 4] = "ratio";
            row[1, 5] = "goal"; row[1, 6] = "met?" }
    { ++n; for (c = 2; c <= 7; ++c) row[n, c - 1] = $c }
    END {
        for (r = 1; r <= n; ++r) for (c = 1; c <= 6; ++c) if (length(row[r, c]) > w[c]) w[c] = length(row[r, c])
        for (r = 1; r <= n; ++r) {
            line = "|"
            for (c = 1; c <= 6; ++c) line = line sprintf(" %-" w[c] "s |", row[r, c])
            print line
            if (r == 1) { line = "|"; for (c = 1; c <= 6; ++c) { d = ""; for (i = 0; i < w[c] + 2; ++i) d = d "-"; line = line d "|" } print line }
        }
    }'
