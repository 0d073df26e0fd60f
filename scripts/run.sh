#!/usr/bin/env bash
# Installs what is missing, builds and starts Vistoramo, with SANE's virtual test scanner
# offered beside the machine's own scanners.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/deps.sh run
# The program, its scanner library and the library's helper only; the tests are built by
# scripts/test.sh.
bash scripts/build.sh --target vistoramo vistoramo-scan vistoramo-scanner
if [ -f scripts/sane-config.sh ]; then
  SANE_CONFIG_DIR=$(bash scripts/sane-config.sh build/default/sane)
  export SANE_CONFIG_DIR
fi
exec build/default/bin/vistoramo "$@"
