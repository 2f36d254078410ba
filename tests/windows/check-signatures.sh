#!/usr/bin/env bash
# Checks the Authenticode signatures of a signed Windows build against the certificate authority that
# issued its certificate: Installer.exe, instrument-setup.exe, the uninstaller, and the uninstaller that
# each installer carries in its resources (the copy every installation leaves); then that a program
# with one byte changed fails verification. Prints osslsigncode's verdict for each.
#   tests/windows/check-signatures.sh CA.pem BUILD_DIR
set -euo pipefail

ca=$(realpath "$1")
build=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

installer=$build/Installer_artefacts/Release/Installer.exe
setup=$build/setup/instrument-setup.exe
uninstaller=$build/setup/instrument-uninstall.exe

verify() {   # program: prints osslsigncode's verdict; fails unless the signature is valid
    echo "== $1"
    osslsigncode verify -CAfile "$ca" -in "$1" >"$work/verify.txt" 2>&1 || { cat "$work/verify.txt"; return 1; }
    grep -q 'Text description: ' "$work/verify.txt" || { echo "no product name in the signature"; return 1; }
    grep -E '^(Message digest algorithm  :|Signature verification:|Number of verified signatures:)|^[[:space:]]+(Subject|Issuer|URL description|Text description) *:' \
        "$work/verify.txt" | awk '!seen[$0]++'
}

for program in "$installer" "$setup" "$uninstaller"; do
    verify "$program"
done

for program in "$installer" "$setup"; do
    carried=$work/$(basename "$program" .exe)-uninstall.exe
    wrestool -x --raw -t 10 -n INSTRUMENT_UNINSTALLER "$program" >"$carried"
    cmp -s "$carried" "$uninstaller" || { echo "the uninstaller in $program is not the signed one"; exit 1; }
    verify "$carried"
done

# One byte of the code changed: the signature no longer matches.
cp "$setup" "$work/tampered.exe"
size=$(stat -c %s "$work/tampered.exe")
python3 - "$work/tampered.exe" $((size / 3)) <<'PY'
import sys
with open(sys.argv[1], "r+b") as f:
    f.seek(int(sys.argv[2]))
    byte = f.read(1)
    f.seek(int(sys.argv[2]))
    f.write(bytes([byte[0] ^ 0xff]))
PY
if osslsigncode verify -CAfile "$ca" -in "$work/tampered.exe" >"$work/tampered.txt" 2>&1; then
    cat "$work/tampered.txt"
    echo "a program with a changed byte passed verification"
    exit 1
fi
echo "== a changed byte: verification fails ($(grep -m1 -iE 'mismatch|failed' "$work/tampered.txt"))"
echo "All signatures verified"
