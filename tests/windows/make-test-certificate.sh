#!/usr/bin/env bash
# Makes a throw-away certificate authority and a code-signing certificate it issued, for the signing
# test: FOLDER/ca.pem (what verification trusts), FOLDER/signer.p12 (certificate and key, as a maker
# has them) and FOLDER/password (its password). FOLDER should be a temporary folder: nothing here is
# ever to be kept or committed.
#   tests/windows/make-test-certificate.sh FOLDER
set -euo pipefail

dir=$1
mkdir -p "$dir"
cd "$dir"
umask 077

openssl rand -hex 16 >password
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Throw-away Test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout ca.key -out ca.pem 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Throw-away Test Signer" -keyout signer.key -out signer.csr 2>/dev/null
printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
    "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -extfile signer.ext \
    -out signer.pem 2>/dev/null
openssl pkcs12 -export -inkey signer.key -in signer.pem -certfile ca.pem -passout file:password -out signer.p12
rm -f ca.key signer.key signer.csr signer.ext ca.srl
