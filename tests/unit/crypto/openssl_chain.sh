#!/bin/sh
# Iterated digest with the openssl command-line tool, to check the library against:
#   openssl_chain.sh sha256|md5 ROUNDS FILE
# hashes FILE, then the previous digest ROUNDS-1 more times, and prints the last one in hex.
set -eu
alg=$1
rounds=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
openssl dgst "-$alg" -binary <"$3" >"$work/d"
i=1
while [ "$i" -lt "$rounds" ]; do
  openssl dgst "-$alg" -binary <"$work/d" >"$work/n"
  mv "$work/n" "$work/d"
  i=$((i + 1))
done
od -An -v -tx1 "$work/d" | tr -d ' \n'
