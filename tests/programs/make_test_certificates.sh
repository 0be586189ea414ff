#!/usr/bin/env bash
# make_test_certificates.sh DIR
# Makes, in DIR, a test CA (ca.pem, and ca.der for Windows stores) and three
# server certificates it signed, each with its key (NAME.pem, NAME.key):
# localhost (for the name localhost), other-host (for other.example) and
# expired (for localhost, no longer valid); and other-ca, a certificate for
# localhost from a second CA that nothing trusts.
set -euo pipefail
dir=$1
mkdir -p "$dir"
cd "$dir"

new_key() { openssl genpkey -algorithm EC -pkeyopt ec_paramgen_curve:P-256 -out "$1" 2>/dev/null; }

# new_ca NAME SUBJECT
new_ca() {
  new_key "$1.key"
  openssl req -x509 -new -key "$1.key" -subj "/CN=$2" -days 2 -out "$1.pem" 2>/dev/null
}
new_ca ca "VOKA test CA"
openssl x509 -in ca.pem -outform der -out ca.der
new_ca stranger-ca "VOKA stranger CA"

# server NAME HOST DAYS [CA]: a certificate for HOST signed by CA (the test
# CA by default; DAYS < 0 gives one that has already expired).
server() {
  local name=$1 host=$2 days=$3 ca=${4:-ca}
  new_key "$name.key"
  openssl req -new -key "$name.key" -subj "/CN=$host" -out "$name.csr" 2>/dev/null
  printf 'subjectAltName=DNS:%s\nextendedKeyUsage=serverAuth\nbasicConstraints=CA:FALSE\n' "$host" >"$name.ext"
  openssl x509 -req -in "$name.csr" -CA "$ca.pem" -CAkey "$ca.key" -CAcreateserial -days "$days" \
    -extfile "$name.ext" -out "$name.pem" 2>/dev/null
  rm -f "$name.csr" "$name.ext"
}
server localhost localhost 2
server other-host other.example 2
server expired localhost -1
server other-ca localhost 2 stranger-ca

# hostile-name: from the test CA, with no name but its subject's, whose CN
# holds terminal controls, as anyone's https server may send.
new_key hostile-name.key
openssl req -new -key hostile-name.key -subj "/CN=$(printf 'evil\033[2J\033[31mRED')" -out hostile-name.csr 2>/dev/null
openssl x509 -req -in hostile-name.csr -CA ca.pem -CAkey ca.key -CAcreateserial -days 2 -out hostile-name.pem \
  2>/dev/null
rm -f hostile-name.csr
