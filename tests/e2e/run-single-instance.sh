#!/usr/bin/env bash
# The built installer's single instance, with a second user: a lock that another local user makes or
# holds never stops the program, and a second copy of the same user's still ends at once without a
# window. Runs in a private mount namespace with its own /var/tmp and temporary folder, so that no
# other program on the machine sees these locks (needs root; skipped otherwise).
#   tests/e2e/run-single-instance.sh INSTALLER
set -euo pipefail

installer=$(realpath "$1")
other_user=65534
skipped=77

[ -n "${DISPLAY:-}" ] || { echo "run-single-instance: needs an X display (run under xvfb-run)"; exit 2; }

if [ -z "${SINGLE_INSTANCE_PRIVATE:-}" ]; then
    [ "$(id -u)" -eq 0 ] && command -v unshare >/dev/null || { echo "skip: needs root and unshare"; exit $skipped; }
    SINGLE_INSTANCE_PRIVATE=1 exec unshare --mount --propagation private "$0" "$@"
fi

tmp=$(mktemp -d)
mount -t tmpfs tmpfs /var/tmp
mount -t tmpfs tmpfs "$tmp"
chmod 1777 /var/tmp "$tmp"
export TMPDIR=$tmp HOME=$tmp/home
mkdir -p "$HOME"

pids=()
cleanup() { for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done; }
trap 'cleanup; wait 2>/dev/null; umount "$tmp" /var/tmp; rmdir "$tmp"' EXIT

failures=0
check() { local what=$1; shift; if "$@"; then echo "  ok: $what"; else echo "FAIL: $what"; failures=$((failures + 1)); fi; }

# Runs Python as the other user; it says "ready" on stdout once it holds what it made.
as_other_user() {
    setpriv --reuid=$other_user --regid=$other_user --clear-groups /usr/bin/python3 -c "$1" &
    pids+=($!)
}
wait_for_file() { for _ in $(seq 100); do [ -e "$1" ] && return 0; sleep 0.1; done; return 1; }

window_of() {   # pid: its visible main window, waiting up to 15 s
    for _ in $(seq 150); do
        [ -n "$(xdotool search --all --onlyvisible --pid "$1" --name "Installer\$" 2>/dev/null)" ] && return 0
        sleep 0.1
    done
    return 1
}
start() { "$installer" >/dev/null 2>&1 & pids+=($!); last=$!; }
stop_all() { cleanup; wait 2>/dev/null || true; pids=(); }

echo "== Another user holds the framework's lock"
as_other_user "
import fcntl, os, time
fd = os.open('/var/tmp/juceAppLock_Installer', os.O_RDWR | os.O_CREAT, 0o666)
fcntl.lockf(fd, fcntl.LOCK_EX)
open('$tmp/framework-lock-held', 'w').close()
time.sleep(120)"
check "the other user holds it" wait_for_file "$tmp/framework-lock-held"
start
check "the installer starts and shows its window" window_of "$last"
first=$last

echo "== A second copy of the same user"
"$installer" >/dev/null 2>&1 &
second=$!
ended=1
for _ in $(seq 150); do kill -0 "$second" 2>/dev/null || { ended=0; break; }; sleep 0.1; done
check "it ends by itself" [ "$ended" -eq 0 ]
check "with exit code 0" wait "$second"
check "and no window of its own" [ -z "$(xdotool search --all --onlyvisible --pid "$second" 2>/dev/null)" ]
check "the first copy still runs" kill -0 "$first"
stop_all

echo "== Another user made our lock file first and holds it"
rm -f "$tmp/Installer-$(id -u).lock"
as_other_user "
import fcntl, os, time
fd = os.open('$tmp/Installer-$(id -u).lock', os.O_RDWR | os.O_CREAT, 0o666)
os.fchmod(fd, 0o666)
fcntl.flock(fd, fcntl.LOCK_EX)
open('$tmp/user-lock-held', 'w').close()
time.sleep(120)"
check "the other user holds it" wait_for_file "$tmp/user-lock-held"
start
check "the installer starts and shows its window" window_of "$last"
stop_all

[ "$failures" -eq 0 ] || { echo "$failures single-instance check(s) failed"; exit 1; }
echo "All single-instance checks passed"
