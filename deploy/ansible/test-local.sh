#!/usr/bin/env bash
# Runs the Ansible role's Linux side against this machine, in a throw-away home, from a share folder
# holding instrument-setup and the demo monolith: a first run installs (changed), a second changes
# nothing, runs in check mode tell what they would do and change no file, a run with another monolith
# upgrades, and uninstalling removes it (then changes nothing). Prints each run's tasks and recap.
#   deploy/ansible/test-local.sh INSTRUMENT_SETUP DEMO_MONOLITH MONOLITH_TOOL
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)

setup=$(realpath "$1")
demo_rom=$(realpath "$2")
tool=$(realpath "$3")

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
home=$work/home
share=$work/share
mkdir -p "$home" "$share"
cp "$setup" "$share/instrument-setup"

"$tool" state "$demo_rom" >"$work/state.xml"
instrument=$(sed -n 's/.*instrumentName="\([^"]*\)".*/\1/p' "$work/state.xml" | head -n 1)
company=$(sed -n 's/.*companyName="\([^"]*\)".*/\1/p' "$work/state.xml" | head -n 1)
cp "$demo_rom" "$share/$instrument.rom"

failures=0
check() { local what=$1; shift; if "$@"; then echo "  ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi; }

play() {   # name, extra ansible-playbook arguments: runs the role, keeps its output in $work/NAME.txt
    local name=$1; shift
    echo "== $name"
    # Everything of Ansible's own (its temporary files, facts) stays in the throw-away home too.
    env HOME="$home" ANSIBLE_LOCAL_TEMP="$home/.ansible/tmp" ANSIBLE_NOCOLOR=1 ANSIBLE_RETRY_FILES_ENABLED=0 \
        ANSIBLE_ROLES_PATH="$here/roles" ansible-playbook -i localhost, "$here/test-local.yml" \
        -e "instrument_company='$company'" -e "instrument_name='$instrument'" -e "instrument_share='$share'" \
        -e instrument_accept_licence=true "$@" </dev/null >"$work/$name.txt" 2>&1 || { cat "$work/$name.txt"; return 1; }
    grep -E '^(TASK|changed|ok|skipping):? ?\[|^localhost +:' "$work/$name.txt" | sed 's/^/    /'
}
changed() { grep -qE "^localhost +: ok=[0-9]+ +changed=$2 " "$work/$1.txt"; }
status_is() { local rc=0; HOME="$home" "$share/instrument-setup" status "$company" "$instrument" >/dev/null 2>&1 || rc=$?; [ "$rc" -eq "$1" ]; }
snapshot() { (cd "$home" && find . -path ./.ansible -prune -o -type f -print0 | sort -z | xargs -0 md5sum); }

play first-run
check "the first run installs: changed" changed first-run 1
check "the instrument is installed and intact" status_is 0
play second-run
check "the second run changes nothing" changed second-run 0

snapshot >"$work/before-check.txt"
play check-present --check
check "check mode, installed: nothing would change" changed check-present 0
play check-absent --check -e instrument_state=absent
check "check mode, to remove: would change" changed check-absent 1
check "check mode changes no file" sh -c "cd '$home' && find . -path ./.ansible -prune -o -type f -print0 | sort -z | xargs -0 md5sum | cmp -s - '$work/before-check.txt'"

"$tool" extract "$demo_rom" PLUGIN_BINARY_VST3_WIN64 "$work/plugin.zip"
"$tool" pack "$share/$instrument.rom" --state "$work/state.xml" --vst3 "$work/plugin.zip" >/dev/null
play upgrade
check "another monolith on the share: changed" changed upgrade 1
check "the share's monolith is the installed one" \
    cmp -s "$share/$instrument.rom" "$home/.local/share/$company/$instrument/$instrument.rom"

play uninstall -e instrument_state=absent
check "uninstall: changed" changed uninstall 1
check "the instrument is gone: not installed, its folders removed" \
    sh -c "[ ! -e '$home/.local/share/$company' ] && [ ! -e '$home/.vst3/$company' ]"
check "status says not installed" status_is 7
play uninstall-again -e instrument_state=absent
check "uninstalling again changes nothing" changed uninstall-again 0

echo
[ "$failures" -eq 0 ] || { echo "$failures Ansible check(s) failed"; exit 1; }
echo "All Ansible checks passed"
