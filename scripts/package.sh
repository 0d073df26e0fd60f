#!/usr/bin/env bash
# Installs what is missing, builds a release without tests and makes the Debian package
# build/package/vistoramo_<version>_<architecture>.deb.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh package
cmake --preset package >/dev/null
cmake --build --preset package -j "$(nproc)"
cpack --preset package
