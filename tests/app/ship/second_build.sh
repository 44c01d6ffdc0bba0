#!/usr/bin/env bash
# second_build.sh SOURCE WORK TOOLCHAIN BUILD_TYPE FAULT_GATE GENERATOR
# Copies the source tree SOURCE to WORK/source (another path than the first
# build's), makes a throw-away code-signing CA and certificate in WORK/keys,
# and builds only the target tarnel in WORK/build with signing on, its key
# behind a password file. The tests that need it compare this build with the
# first one and check its signature.
set -euo pipefail
source_dir=$1 work=$2 toolchain=$3 build_type=$4 fault_gate=$5 generator=$6

rm -rf "$work"
mkdir -p "$work/source" "$work/keys"

# The tree as git sees it (tracked and new files, nothing ignored), else all
# of it but the build folder.
if git -C "$source_dir" rev-parse --is-inside-work-tree >/dev/null 2>&1; then
    git -C "$source_dir" ls-files -z -co --exclude-standard |
        tar -C "$source_dir" --null -T - --ignore-failed-read -cf - | tar -C "$work/source" -xf -
else
    tar -C "$source_dir" --exclude=./build --exclude=./.git -cf - . | tar -C "$work/source" -xf -
fi

# A throw-away CA and a code-signing certificate it issued, valid two days.
keys=$work/keys
openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj "/CN=Tarnel throw-away test CA" \
    -addext "basicConstraints=critical,CA:TRUE" -addext "keyUsage=critical,keyCertSign,cRLSign" \
    -keyout "$keys/ca.key" -out "$keys/ca.pem" 2>/dev/null
openssl req -newkey rsa:2048 -nodes -subj "/CN=Tarnel throw-away test signer" \
    -keyout "$keys/signer-plain.key" -out "$keys/signer.csr" 2>/dev/null
printf '%s\n' "basicConstraints=CA:FALSE" "keyUsage=critical,digitalSignature" "extendedKeyUsage=codeSigning" \
    > "$keys/signer.ext"
openssl x509 -req -in "$keys/signer.csr" -CA "$keys/ca.pem" -CAkey "$keys/ca.key" -set_serial 1 -days 2 \
    -extfile "$keys/signer.ext" -out "$keys/signer.pem" 2>/dev/null
head -c 24 /dev/urandom | base64 > "$keys/password"
openssl pkey -in "$keys/signer-plain.key" -aes256 -passout "file:$keys/password" -out "$keys/signer.key"
rm -f "$keys/signer-plain.key" "$keys/ca.key"

cmake -S "$work/source" -B "$work/build" -G "$generator" \
    -DCMAKE_TOOLCHAIN_FILE="$toolchain" -DCMAKE_BUILD_TYPE="$build_type" -DTARNEL_FAULT_GATE="$fault_gate" \
    -DTARNEL_SIGN=ON -DTARNEL_SIGN_CERT="$keys/signer.pem" -DTARNEL_SIGN_KEY="$keys/signer.key" \
    -DTARNEL_SIGN_PASSWORD_FILE="$keys/password" >/dev/null
cmake --build "$work/build" --target tarnel -j 2
