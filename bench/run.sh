#!/usr/bin/env bash
# Runs every benchmark on its own X display and prints each figure with its reference and
# ratio. Usage: bash bench/run.sh  (after the README's set-up; builds first)
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/build.sh >/dev/null
bin=build/default/bin

work=$(mktemp -d /tmp/vistoramo-bench.XXXXXX)
exec 3>"$work/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
xvfb=$!
exec 3>&-
trap 'kill $xvfb 2>/dev/null; wait $xvfb 2>/dev/null; rm -rf "$work"' EXIT
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work"

echo "Vistoramo benchmarks on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
if [ -x "$bin/vistoramo_bench" ] && "$bin/vistoramo_bench" has-scan 2>/dev/null; then
  bash bench/scan.sh "$bin"
fi
"$bin/vistoramo_bench" startup
"$bin/vistoramo_bench" scroll
"$bin/vistoramo_bench" clipboard
