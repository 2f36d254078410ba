#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, writes their
# seed corpora with the monolith writer and runs every target. Fails on any crash, hang, leak or
# sanitizer report; the input that caused it is left in build-fuzz/artifacts/.
#
#   scripts/fuzz.sh                           # the test command's step: the same inputs every time
#   scripts/fuzz.sh explore [SECONDS] [TARGET...]   # hunting for bugs: random, for SECONDS per target (default 1200)
#
# The first form runs the committed regression corpus (fuzz/corpus/<target>/, every input that ever
# found a fault) and the generated seeds, then a fixed number of mutations from a fixed seed, starting
# from an empty working corpus: the same commit gives the same inputs and the same verdict. The second
# form starts from a random seed, keeps what it learns in build-fuzz/corpus/<target>/ across runs and
# runs the targets one after another.
set -euo pipefail
cd "$(dirname "$0")/.."

build_dir=build-fuzz
targets=(monolith_reader_fuzzer state_tree_fuzzer plugin_archive_fuzzer)

# Runs per target in the test command's step, each about a minute on a busy core.
declare -A runs=([monolith_reader_fuzzer]=20000 [state_tree_fuzzer]=20000 [plugin_archive_fuzzer]=100000)
fixed_seed=1
# Far beyond a minute a target takes on a busy core; reached only by a hang.
target_limit=900
# Values the code compares feed later mutations. The framework's identifier pool compares the clock
# once it holds 300 names, so the state-tree target's fixed run does without them.
declare -A fixed_run_options=([state_tree_fuzzer]=-use_cmp=0)

mode=${1:-check}
case $mode in
    check) ;;
    explore)
        seconds=${2:-1200}
        if [ $# -gt 2 ]; then targets=("${@:3}"); fi
        ;;
    *) echo "usage: scripts/fuzz.sh [explore [SECONDS] [TARGET...]]" >&2; exit 2 ;;
esac

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

asan_options=detect_leaks=1:abort_on_error=1
sanitizer_options=(UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 LSAN_OPTIONS=suppressions=tests/lsan.supp)

mkdir -p "$build_dir/artifacts"

# Runs one target; its output goes to build-fuzz/<target>.log, its exit status to build-fuzz/<target>.status.
run_target()
{
    local target=$1 name=${1%_fuzzer} work runner options inputs
    rm -f "$build_dir/$target.status"
    inputs=("$build_dir/seeds/$name")
    [ -d "fuzz/corpus/$name" ] && inputs+=("fuzz/corpus/$name")

    # libFuzzer writes what it finds into the first folder; -reload=0 keeps it from rereading the
    # folders on a timer, which would make a run depend on its speed.
    options=(-rss_limit_mb=2048 -detect_leaks=1 -reload=0 -print_final_stats=1
             -artifact_prefix="$build_dir/artifacts/$target-")

    if [ "$mode" = check ]; then
        work=$build_dir/work/$name
        rm -rf "$work"
        # libFuzzer's own hang check interrupts the target with a timer signal, and system calls that
        # the signal interrupts take their retry paths, which moves the coverage: a whole target that
        # hangs is stopped from outside instead.
        options+=(-timeout=0 -seed="$fixed_seed" -runs="${runs[$target]}" ${fixed_run_options[$target]:-})
        # The coverage that decides which inputs come next must not change from one run to the next,
        # nor with the folder or the environment it runs in: the sanitizer's checks branch on where
        # memory lies, so no address randomisation and the same environment, which sits at the top
        # of the stack; and every allocation filled (some code on these paths reads heap memory
        # before writing it, which otherwise holds whatever earlier inputs left there).
        runner=(timeout "$target_limit" env -i PATH=/usr/bin:/bin "${sanitizer_options[@]}"
                ASAN_OPTIONS="$asan_options:max_malloc_fill_size=2147483647" setarch -R)
    else
        work=$build_dir/corpus/$name
        options+=(-timeout=10 -max_total_time="$seconds")
        runner=(env "${sanitizer_options[@]}" ASAN_OPTIONS="$asan_options")
    fi

    mkdir -p "$work"
    local status=0
    "${runner[@]}" "$build_dir/fuzz/$target" "$work" "${inputs[@]}" "${options[@]}" >"$build_dir/$target.log" 2>&1 || status=$?
    echo "$status" >"$build_dir/$target.status"
}

# Prints a finished target's figures; fails with what to do when it failed.
report_target()
{
    local target=$1 name=${1%_fuzzer} status
    status=$(cat "$build_dir/$target.status" 2>/dev/null || echo "no status")
    grep -E "^#[0-9]+[[:space:]]+(INITED|DONE)|^stat::number_of_executed_units|^stat::peak_rss|ERROR|SUMMARY|runtime error" \
        "$build_dir/$target.log" || true

    if [ "$status" = 124 ]; then
        echo "$target did not finish its runs within $target_limit s: an input hangs; full output in $build_dir/$target.log" >&2
        return 1
    fi

    if [ "$status" != 0 ]; then
        echo "$target failed (exit $status); full output in $build_dir/$target.log" >&2
        echo "Minimise the input with: $build_dir/fuzz/$target -minimize_crash=1 -runs=10000 <artifact>," >&2
        echo "then commit the result to fuzz/corpus/$name/ together with the fix." >&2
        return 1
    fi
}

if [ "$mode" = check ]; then
    # Each target's runs are fixed and single-threaded, so they run side by side, one per core: the
    # verdict is the same, in a fraction of the time.
    jobs_running=0
    for target in "${targets[@]}"; do
        run_target "$target" &
        jobs_running=$((jobs_running + 1))
        if [ "$jobs_running" -ge "$(nproc)" ]; then
            wait -n
            jobs_running=$((jobs_running - 1))
        fi
    done
    wait
    failed=0
    for target in "${targets[@]}"; do
        echo "== $target: ${runs[$target]} runs from seed $fixed_seed"
        report_target "$target" || failed=1
    done
    exit "$failed"
fi

for target in "${targets[@]}"; do
    echo "== $target for $seconds s"
    run_target "$target"
    report_target "$target"
done
