#!/usr/bin/env bash
# Makes in DIR a throwaway certificate authority (ca.crt) and a code-signing
# certificate it issued, with its key, in signer.p12 under the password in
# the file "password"; the authority's key is gone once it has signed.
#
#   tests/release/throwaway_signer.sh DIR
set -euo pipefail
dir=${1:?usage: $0 DIR}
rm -rf "$dir" && mkdir -p "$dir" && cd "$dir"
openssl req -x509 -newkey rsa:2048 -noenc -keyout ca.key -out ca.crt -days 2 \
  -subj "/CN=Corvane throwaway test authority" \
  -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign" 2>/dev/null
openssl req -newkey rsa:2048 -noenc -keyout signer.key -out signer.csr -subj "/O=Brennock/CN=Brennock test signer" 2>/dev/null
printf '%s\n' "basicConstraints=critical,CA:FALSE" "keyUsage=critical,digitalSignature" \
  "extendedKeyUsage=codeSigning" >signer.ext
openssl x509 -req -in signer.csr -CA ca.crt -CAkey ca.key -CAcreateserial -days 2 \
  -extfile signer.ext -out signer.crt 2>/dev/null
openssl rand -hex 16 >password
openssl pkcs12 -export -inkey signer.key -in signer.crt -out signer.p12 -passout file:password
rm ca.key ca.srl signer.key signer.csr signer.ext
