#!/usr/bin/env bash
# Installs the Debian packages the build and the tests need, when missing.
# "setup.sh fuzz" adds clang and its runtime libraries (libFuzzer and the
# sanitizers) for the fuzz preset (scripts/fuzz.sh).
set -euo pipefail
packages=(cmake g++ make googletest libgtest-dev g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix
          binutils-mingw-w64-x86-64 wine wine64 zlib1g-dev libbenchmark-dev python3
          osslsigncode openssl)
if [ "${1:-}" = fuzz ]; then
    packages+=(clang libclang-rt-dev)
fi
missing=()
for package in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$package" 2>/dev/null | grep -q "install ok installed" || missing+=("$package")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "installing: ${missing[*]}"
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
