#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the AddressSanitizer +
# UndefinedBehaviorSanitizer build, the ThreadSanitizer build, the fuzz targets and the Windows build.
# Stops at the first failing stage; the end shows how long each stage took and which one failed.
set -euo pipefail
cd "$(dirname "$0")/.."

# ---------------------------------------------------------------------------------------------------
# Stages: `stage NAME` ends the stage before and starts the next; the summary is printed on exit.
stage_lines=()
stage_name=
stage_start=$SECONDS

end_stage()
{
    [ -n "$stage_name" ] || return 0
    local took=$((SECONDS - stage_start))
    stage_lines+=("$(printf '%4d:%02d  %s%s' $((took / 60)) $((took % 60)) "$stage_name" "${1:-}")")
    stage_name=
}

stage()
{
    end_stage
    stage_name=$1
    stage_start=$SECONDS
    echo "== $stage_name"
}

summary()
{
    local status=$?
    end_stage "$([ "$status" -eq 0 ] || echo "  FAILED (exit $status)")"
    echo
    echo "== Stage times"
    printf '%s\n' "${stage_lines[@]}"
    printf '%4d:%02d  total\n' $((SECONDS / 60)) $((SECONDS % 60))
}
trap summary EXIT

run_ctest()
{
    # Window and clipboard tests need a display: give them a private Xvfb.
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        ctest --test-dir "$1" --output-on-failure --no-tests=error "${@:2}"
}

# ---------------------------------------------------------------------------------------------------
stage "Packages"
scripts/install-deps.sh

stage "Release build and tests"
scripts/build.sh build
run_ctest build

stage "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
scripts/build.sh build-asan -DINSTALLER_SANITIZE=address,undefined -DINSTALLER_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    run_ctest build-asan -LE slow

stage "ThreadSanitizer build and tests"
scripts/build.sh build-tsan -DINSTALLER_SANITIZE=thread -DINSTALLER_BUILD_BENCHMARKS=OFF
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan -LE slow

# ---------------------------------------------------------------------------------------------------
stage "Fuzzing the monolith reader, the state-tree wrappers and the plug-in archive"
# clang + libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer over the committed regression
# corpus and the generated seeds, then a fixed number of runs from a fixed seed per target; fails on
# any crash, hang, leak or sanitizer report.
scripts/fuzz.sh

# ---------------------------------------------------------------------------------------------------
stage "Windows build and Wine tests"
# Cross-builds Installer.exe, reads its resources back, and drives it under Wine beside the demo
# monolith of the release build above.
scripts/windows/build.sh build-win
python3 tests/windows/check_resources.py build-win/Installer_artefacts/Release/Installer.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-setup.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-uninstall.exe
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-e2e.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" out/windows-screenshots
# The same run for an instrument and a maker named with accents, Greek and Japanese letters and an emoji.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-names.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" out/windows-names-screenshots
# Every page at 96, 144 and 192 DPI, complete on screen without help; screenshots for a look.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-display.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" out/windows-display-screenshots
# The console installer without a display: install, list, Installed apps read back, the quiet uninstall.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-setup.sh \
    build-win/setup/instrument-setup.exe "build/demo/Glass Piano.rom"
# No planted DLL loaded, links in C:\ProgramData refused, access lists, the per-user single instance.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-containment.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" build-win/tests/windows/containment-probe.exe
