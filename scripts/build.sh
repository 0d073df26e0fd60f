#!/usr/bin/env bash
# Configures and builds with the default preset: everything, or the targets named
# (bash scripts/build.sh --target vistoramo ...).
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" "$@"
