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
export DISPLAY=":$(head -n1 "$work/display")" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$work" XDG_CONFIG_HOME="$work/config"

echo "Vistoramo benchmarks on $(nproc) cores, $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | xargs)"
# An A4 page at three resolutions, and a 2 mm square, whose floors are next to nothing: what
# it takes is the fixed cost of a scan (dialog, helper, window), whatever the page.
for page in 150:A4:210:297 300:A4:210:297 600:A4:210:297 150:"2 mm square":2:2; do
  IFS=: read -r dpi area width height <<<"$page"
  SANE_CONFIG_DIR="$work/sane-$dpi-$width"
  mkdir -p "$SANE_CONFIG_DIR"
  echo test >"$SANE_CONFIG_DIR/dll.conf"
  printf '%s\n' 'number_of_devices 1' 'mode Color' 'depth 8' "resolution $dpi.0" \
    'test-picture "Color pattern"' 'geometry_max 297.0' "br_x $width.0" "br_y $height.0" >"$SANE_CONFIG_DIR/test.conf"
  # A settings directory of its own, so the dialog remembers no other resolution.
  SANE_CONFIG_DIR=$SANE_CONFIG_DIR XDG_CONFIG_HOME="$work/config-$dpi-$width" "$bin/vistoramo_bench" scan "$dpi" 7 "$area"
done
"$bin/vistoramo_bench" startup 15
"$bin/vistoramo_bench" scroll
"$bin/vistoramo_bench" memory
# Straightening is weighed against ImageMagick's deskew: Debian's package, installed here.
if ! convert -version 2>/dev/null | grep -q '^Version: ImageMagick'; then
  sudo apt-get install -y imagemagick >/dev/null
fi
"$bin/vistoramo_bench" edit 5
"$bin/edit_memory_bench"
# A scanned colour page (the test device's pattern at 300 and 600 dpi) for the PNG figures.
for dpi in 300 600; do
  SANE_CONFIG_DIR="$work/sane-$dpi-210" scanimage -d test:0 --format=pnm -o "$work/colour-$dpi.pnm"
done
"$bin/vistoramo_bench" clipboard 7 "$work/colour-300.pnm"
"$bin/vistoramo_bench" png "$work/colour-300.pnm" "$work/colour-600.pnm"
"$bin/vistoramo_bench" ocr 7
"$bin/vistoramo_bench" ocrpaint 3
QT_QPA_PLATFORM=offscreen "$bin/preview_bench" 30
# The scanner library through its dialog and through its client, with scanimage and the SANE
# floor as references; its files in memory where the machine has a memory file system, so
# that the disk's write-back, which varies several times over between runs, does not decide
# the ratios.
shm=/dev/shm
[ -d "$shm" ] && [ -w "$shm" ] || shm=$work
TMPDIR=$shm XDG_CONFIG_HOME="$work/config-acquire" QT_QPA_PLATFORM=offscreen "$bin/acquire_bench" 7
