#!/usr/bin/env bash
# Makes a private SANE configuration in DIR: a copy of the machine's /etc/sane.d with
# SANE's virtual "test" scanner enabled beside the machine's own backends, and test.conf
# taken from TEST_CONF (or a default with two test devices). Prints DIR's absolute path,
# ready for SANE_CONFIG_DIR.
#
# Usage: scripts/sane-config.sh DIR [TEST_CONF]
set -euo pipefail

if [ $# -lt 1 ] || [ $# -gt 2 ]; then
  echo "Aufruf: $0 VERZEICHNIS [TEST_CONF]" >&2
  exit 2
fi
dir=$1
test_conf=${2:-}
if [ -n "$test_conf" ] && [ ! -r "$test_conf" ]; then
  echo "$0: $test_conf ist nicht lesbar" >&2
  exit 1
fi

mkdir -p "$dir"
dir=$(cd "$dir" && pwd -P)
if [ -d /etc/sane.d ]; then
  cp -R /etc/sane.d/. "$dir/"
fi

# dll.conf: keep the machine's backends, switch a commented-out "test" on, or add it.
dll="$dir/dll.conf"
touch "$dll"
if ! grep -Eq '^[[:space:]]*test[[:space:]]*$' "$dll"; then
  if grep -Eq '^[[:space:]]*#[[:space:]]*test[[:space:]]*$' "$dll"; then
    sed -i -E 's/^[[:space:]]*#[[:space:]]*test[[:space:]]*$/test/' "$dll"
  else
    printf '\ntest\n' >> "$dll"
  fi
fi

if [ -n "$test_conf" ]; then
  cp "$test_conf" "$dir/test.conf"
else
  cat > "$dir/test.conf" <<'CONF'
# Two virtual test scanners with a colour test picture on an A4 flatbed.
number_of_devices 2
mode Color
depth 8
resolution 150.0
test-picture "Color pattern"
geometry_min 0.0
geometry_max 297.0
geometry_quant 1.0
br_x 210.0
br_y 297.0
CONF
fi
echo "$dir"
