#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, writes their
# seed corpora with the monolith writer and runs each target for a bounded time. Fails on any crash,
# hang, leak or sanitizer report; the input that caused it is left in build-fuzz/artifacts/.
#   FUZZ_SECONDS=300 scripts/fuzz.sh     # per target; default 30
set -euo pipefail
cd "$(dirname "$0")/.."

seconds=${FUZZ_SECONDS:-30}
build_dir=build-fuzz
targets=(monolith_reader_fuzzer state_tree_fuzzer plugin_archive_fuzzer)

scripts/install-deps.sh clang libclang-rt-14-dev llvm

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_C_COMPILER_LAUNCHER=ccache -DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
    export CCACHE_BASEDIR=$PWD
fi

cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release "${launcher[@]}" \
    -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
    -DINSTALLER_SANITIZE=address,undefined -DINSTALLER_BUILD_FUZZERS=ON \
    -DINSTALLER_BUILD_TESTS=OFF -DINSTALLER_BUILD_BENCHMARKS=OFF >/dev/null
cmake --build "$build_dir" -j 2 --target "${targets[@]}" fuzz_seeds

rm -rf "$build_dir/seeds"
"$build_dir/fuzz/fuzz_seeds" "$build_dir/seeds"

export ASAN_OPTIONS=detect_leaks=1:abort_on_error=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp

mkdir -p "$build_dir/artifacts"
for target in "${targets[@]}"; do
    seeds=$build_dir/seeds/${target%_fuzzer}
    corpus=$build_dir/corpus/${target%_fuzzer}
    mkdir -p "$corpus"
    echo "== $target for $seconds s"
    # The corpus grows across runs; the seeds are rewritten every time.
    status=0
    "$build_dir/fuzz/$target" "$corpus" "$seeds" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -detect_leaks=1 \
        -print_final_stats=1 -artifact_prefix="$build_dir/artifacts/$target-" \
        >"$build_dir/$target.log" 2>&1 || status=$?
    grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::number_of_executed_units|^stat::peak_rss|ERROR|SUMMARY|runtime error" \
        "$build_dir/$target.log" || true
    if [ "$status" -ne 0 ]; then
        echo "$target failed (exit $status); full output in $build_dir/$target.log" >&2
        exit 1
    fi
done
