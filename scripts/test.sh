#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test: the normal build, the deployment recipes, the
# AddressSanitizer + UndefinedBehaviorSanitizer build, the ThreadSanitizer build, the fuzz targets, and the
# Windows build, signed with a throw-away certificate, and its runs under Wine.
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
    [ -z "${signing_dir:-}" ] || rm -rf "$signing_dir"
    end_stage "$([ "$status" -eq 0 ] || echo "  FAILED (exit $status)")"
    echo
    echo "== Stage times"
    printf '%s\n' "${stage_lines[@]}"
    printf '%4d:%02d  total\n' $((SECONDS / 60)) $((SECONDS % 60))
}
trap summary EXIT

run_ctest()
{
    # Window and clipboard tests need a display: give them a private Xvfb. One test per core at a time,
    # the longest first; those that open a window take turns on the display (tests/CMakeLists.txt).
    xvfb-run -a -s "-screen 0 1280x1024x24 -nolisten tcp" \
        ctest --test-dir "$1" --output-on-failure --no-tests=error -j "$(nproc)" "${@:2}"
}

# Runs the given commands side by side, each one's output in a file of its own, then shows the outputs in
# the order given; fails when any of them failed.
run_side_by_side()
{
    local outputs pids=() status=0 i
    outputs=$(mktemp -d)

    for i in $(seq $#); do
        "${!i}" >"$outputs/$i" 2>&1 &
        pids+=($!)
    done

    for i in $(seq $#); do
        wait "${pids[i - 1]}" || status=1
        cat "$outputs/$i"
    done

    rm -rf "$outputs"
    return $status
}

# The Wine runs, in the three lanes that the last stage runs side by side.
# An installation and what it leaves, driven like a user would; then the same for an instrument and a
# maker named with accents, Greek and Japanese letters and an emoji.
e2e_and_names()
{
    tests/windows/run-wine-e2e.sh "$installer" "$rom" out/windows-screenshots &&
        tests/windows/run-wine-names.sh "$installer" "$rom" out/windows-names-screenshots
}

# Every page at 96, 144 and 192 DPI, complete on screen without help, with screenshots for a look; then the
# console installer without a display: install, list, Installed apps read back, the quiet uninstall.
display_and_setup()
{
    tests/windows/run-wine-display.sh "$installer" "$rom" out/windows-display-screenshots &&
        tests/windows/run-wine-setup.sh "$setup" "$rom"
}

# No planted DLL loaded, links in C:\ProgramData refused, access lists, the per-user single instance; then a
# program holding the installed plug-in's DLL: status 12 before any change, named or with the line that a
# program may be using it.
containment_and_in_use()
{
    tests/windows/run-wine-containment.sh "$installer" "$rom" build-win/tests/windows/containment-probe.exe &&
        tests/windows/run-wine-inuse.sh "$setup" "$rom"
}

# ---------------------------------------------------------------------------------------------------
stage "Packages"
scripts/install-deps.sh

stage "Release build and tests"
scripts/build.sh build
run_ctest build

stage "Deployment recipes"
# The Ansible role against this machine (install, again, check mode, upgrade, uninstall), the Windows side's
# syntax, and the winget manifest and Intune sheet against the exit table and the Installed apps key.
deploy/ansible/test-local.sh build/setup/instrument-setup "build/demo/Glass Piano.rom" build/tools/monolith-tool
ANSIBLE_ROLES_PATH=deploy/ansible/roles ansible-playbook --syntax-check -i localhost, deploy/ansible/site.yml
deploy/generate.py --check build/setup/instrument-setup

stage "AddressSanitizer + UndefinedBehaviorSanitizer build and tests"
scripts/build.sh build-asan -DINSTALLER_SANITIZE=address,undefined -DINSTALLER_BUILD_BENCHMARKS=OFF
ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    LSAN_OPTIONS=suppressions=$PWD/tests/lsan.supp \
    run_ctest build-asan -LE slow

stage "ThreadSanitizer build and tests"
scripts/build.sh build-tsan -DINSTALLER_SANITIZE=thread -DINSTALLER_BUILD_BENCHMARKS=OFF
# The installation's kill sweeps test what a kill leaves, with a child for every point; the release and ASan
# stages run them. Here they took most of the stage's time, and the threads their children run (the check's
# read-ahead) have tests of their own in this stage.
TSAN_OPTIONS="halt_on_error=1 second_deadlock_stack=1" run_ctest build-tsan -LE slow \
    -E '^(InstallRecovery|Move|Relink|DataRoot)\.[A-Za-z]*Kill'

# ---------------------------------------------------------------------------------------------------
stage "Fuzzing the monolith reader, the state-tree wrappers and the plug-in archive"
# clang + libFuzzer with AddressSanitizer and UndefinedBehaviorSanitizer over the committed regression
# corpus and the generated seeds, then a fixed number of runs from a fixed seed per target; fails on
# any crash, hang, leak or sanitizer report.
scripts/fuzz.sh

# ---------------------------------------------------------------------------------------------------
stage "Windows build and signatures"
# Cross-builds Installer.exe, signed with a throw-away certificate made for this run (in a temporary
# folder, removed at the end), checks every program's signature and reads its resources back.
signing_dir=$(mktemp -d)
tests/windows/make-test-certificate.sh "$signing_dir"
INSTALLER_SIGN_PKCS12=$signing_dir/signer.p12 INSTALLER_SIGN_PASSWORD_FILE=$signing_dir/password \
    INSTALLER_SIGN_URL=https://www.example.com/instrument-installer scripts/windows/build.sh build-win
tests/windows/check-signatures.sh "$signing_dir/ca.pem" build-win
python3 tests/windows/check_resources.py build-win/Installer_artefacts/Release/Installer.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-setup.exe
python3 tests/windows/check_resources.py build-win/setup/instrument-uninstall.exe

stage "Wine tests"
# The Windows programs driven under Wine beside the demo monolith of the release build above. The Wine
# runs mostly wait for Wine, and each has its own prefix and display: three lanes side by side.
export MONOLITH_TOOL=build/tools/monolith-tool
installer=build-win/Installer_artefacts/Release/Installer.exe setup=build-win/setup/instrument-setup.exe
rom="build/demo/Glass Piano.rom"
run_side_by_side e2e_and_names display_and_setup containment_and_in_use
