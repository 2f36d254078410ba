#!/usr/bin/env bash
# Signs one Windows program in place with Authenticode (SHA-256), as cmake/WindowsSigning.cmake runs it
# after the program is linked. The certificate's password comes from the environment variable
# INSTALLER_SIGN_PASSWORD or from the file INSTALLER_SIGN_PASSWORD_FILE names, never from an argument.
#   scripts/windows/sign.sh PROGRAM.exe CERTIFICATE.p12 DESCRIPTION [URL] [TIMESTAMP_URL]
set -euo pipefail

program=$1 certificate=$2 description=$3 url=${4:-} timestamp=${5:-}

args=(sign -pkcs12 "$certificate" -h sha256 -n "$description")
[ -z "$url" ] || args+=(-i "$url")
[ -z "$timestamp" ] || args+=(-ts "$timestamp")

if [ -n "${INSTALLER_SIGN_PASSWORD_FILE:-}" ]; then
    args+=(-readpass "$INSTALLER_SIGN_PASSWORD_FILE")
elif [ -n "${INSTALLER_SIGN_PASSWORD+set}" ]; then
    args+=(-readpass -)
else
    echo "sign.sh: set INSTALLER_SIGN_PASSWORD or INSTALLER_SIGN_PASSWORD_FILE to sign with $certificate" >&2
    exit 1
fi

signed=$program.signed
rm -f "$signed"
if ! printf '%s' "${INSTALLER_SIGN_PASSWORD:-}" | osslsigncode "${args[@]}" -in "$program" -out "$signed" >"$signed.log" 2>&1; then
    cat "$signed.log" >&2
    rm -f "$signed" "$signed.log"
    exit 1
fi
rm -f "$signed.log"
mv -f "$signed" "$program"
echo "Signed $program"
