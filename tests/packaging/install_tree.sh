#!/usr/bin/env bash
# `cmake --install` into a scratch prefix: the program directory with program and scanner
# library, the command link, the menu entry, the metainfo and the icons, and nothing else.
set -euo pipefail

build_dir=$1 bindir=$2 libdir=$3 datadir=$4 with_library=$5
work=$(mktemp -d /tmp/vistoramo-install.XXXXXX)
trap 'rm -rf "$work"' EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
source "$(dirname "$0")/layout.sh"

cmake --install "$build_dir" --prefix "$work/root/usr" >"$work/install.log" || {
  cat "$work/install.log" >&2
  fail "cmake --install failed"
}
check_layout "$work/root"
