#!/usr/bin/env bash
# make_test_certificates.sh DIR
# Makes, in DIR, a test CA (ca.pem, and ca.der for Windows stores) and three
# server certificates it signed, each with its key (NAME.pem, NAME.key):
# localhost (for the name localhost), other-host (for other.example) and
# expired (for localhost, no longer valid).
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

new_key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

new_key ca.key
openssl req -x509 -new -key ca.key -subj "/CN=VOKA test CA" -days 2 -out ca.pem 2>/dev/null
openssl x509 -in ca.pem -outform der -out ca.der

# server NAME HOST DAYS: a certificate for HOST signed by the CA (DAYS < 0
# gives one that has already expired).
server() {
  local name=$1 host=$2 days=$3
  new_key "$name.key"
  openssl req -new -key "$name.key" -subj "/CN=$host" -out "$name.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$host" >"$name.ext"
  openssl x509 -req -in "$name.csr" -CA ca.pem -CAkey ca.key -CAcreateserial -days "$days" \
    -extfile "$name.ext" -out "$name.pem" 2>/dev/null
  rm -f "$name.csr" "$name.ext"
}
server localhost localhost 2
server other-host other.example 2
server expired localhost -1
