#!/bin/sh
# Usage: make-cert.sh DIR
# Writes DIR/cert.pem and DIR/key.pem (self-signed, localhost) unless both exist.
set -eu
dir=${1:?usage: make-cert.sh DIR}
mkdir -p "$dir"
if [ -s "$dir/cert.pem" ] && [ -s "$dir/key.pem" ]; then
  exit 0
fi
# A lone cert may be one a build already trusts: never replace it.
if [ -e "$dir/cert.pem" ] || [ -e "$dir/key.pem" ]; then
  echo "make-cert.sh: $dir holds only one of cert.pem and key.pem; remove it to start over" >&2
  exit 1
fi
tmp=$(mktemp -d "$dir/.make-cert.XXXXXX")
trap 'rm -rf "$tmp"' EXIT
openssl req -x509 -nodes -newkey ec -pkeyopt ec_paramgen_curve:prime256v1 \
  -keyout "$tmp/key.pem" -out "$tmp/cert.pem" -days 3650 -sha256 \
  -subj "/CN=localhost" \
  -addext "subjectAltName=DNS:localhost,IP:127.0.0.1" \
  -addext "extendedKeyUsage=serverAuth" >/dev/null 2>&1
chmod 600 "$tmp/key.pem"
# Key first, then cert, renamed into place: a reader that sees cert.pem also sees its key.
mv "$tmp/key.pem" "$dir/key.pem"
mv "$tmp/cert.pem" "$dir/cert.pem"
