#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, then the
# AddressSanitizer + UndefinedBehaviorSanitizer build.
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/install-deps.sh

run_ctest() {
    # Window and clipboard tests need a display: give them a private Xvfb.
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        ctest --test-dir "$1" --output-on-failure --no-tests=error "${@:2}"
}

echo "== Release build and tests"
scripts/build.sh build
run_ctest build

echo "== AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
scripts/build.sh build-asan -DINSTALLER_SANITIZE=address,undefined -DINSTALLER_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    run_ctest build-asan -LE slow

# ---------------------------------------------------------------------------------------------------
echo "== Fuzzing the monolith reader, the state-tree wrappers and the plug-in archive"
# clang + libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer, 30 s per target
# (FUZZ_SECONDS overrides); fails on any crash, hang, leak or sanitizer report.
scripts/fuzz.sh

# ---------------------------------------------------------------------------------------------------
echo "== Windows build and Wine tests"
# Cross-builds Installer.exe, reads its resources back, and drives it under Wine beside the demo
# monolith of the release build above.
scripts/windows/build.sh build-win
python3 tests/windows/check_resources.py build-win/Installer_artefacts/Release/Installer.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-setup.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-uninstall.exe
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-e2e.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" out/windows-screenshots
# Every page at 96, 144 and 192 DPI, complete on screen without help; screenshots for a look.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-display.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" out/windows-display-screenshots
# The console installer without a display: install, list, Installed apps read back, the quiet uninstall.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-setup.sh \
    build-win/setup/instrument-setup.exe "build/demo/Glass Piano.rom"
# No planted DLL loaded, links in C:\ProgramData refused, access lists, the per-user single instance.
MONOLITH_TOOL=build/tools/monolith-tool tests/windows/run-wine-containment.sh \
    build-win/Installer_artefacts/Release/Installer.exe "build/demo/Glass Piano.rom" build-win/tests/windows/containment-probe.exe
