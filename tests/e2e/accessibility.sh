#!/usr/bin/env bash
# The window as a screen reader sees it, through the real AT-SPI tree on a D-Bus session of
# the test's own: each control's name and role, and the picture's description before and
# after a scan. The scanner library's source dialog's tree is printed for the record.
source "$(dirname "$0")/session.sh"

tree="$(dirname "$0")/accessibility_tree.py"
# Debian's python3-pyatspi is for the system's Python, whatever python3 comes first in PATH.
atspi_python=/usr/bin/python3
sane_config 'number_of_devices 1' 'mode Color' 'depth 8' 'resolution 75.0' 'br_x 80.0' 'br_y 100.0'
scanimage -d test:0 --format=pnm -o "$work/expected.pnm" || fail "scanimage could not scan"
scanned=$(python3 - "$work/expected.pnm" <<'PY'
import sys
lines = [l for l in open(sys.argv[1], "rb").read(256).split(b"\n") if not l.startswith(b"#")]
w, h = lines[1].split()
print(f"{int(w)} × {int(h)} Pixel, 75 dpi")
PY
)
start_x
eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1

# A 400 × 300 picture at 300 dpi to start with, shown from the program directory.
mkdir -p "$work/prog"
python3 - "$work/prog/Rastelo.bmp" <<'PY'
import struct, sys
w, h = 400, 300
with open(sys.argv[1], "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + w * h * 3, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, w * h * 3, 11811, 11811, 0, 0))
    f.write(bytes((i * 7) % 256 for i in range(w * h * 3)))
PY
start_program

echo "--- the main window at start-up"
"$atspi_python" "$tree" check "400 × 300 Pixel, 300 dpi" || fail "the window's tree at start-up"

echo "--- the scanner library's source dialog (for the record)"
key alt+g
wait_window '^Scanner auswählen$' >/dev/null
sleep 1
"$atspi_python" "$tree" dump || fail "no tree with the source dialog open"
press_in '^Scanner auswählen$' Return
wait_gone '^Scanner auswählen$'
xdotool windowactivate --sync "$main_window"
key alt+b
wait_window '^Bild scannen$' >/dev/null
sleep 1
echo "--- the scanner library's acquisition dialog (for the record)"
"$atspi_python" "$tree" dump || fail "no tree with the acquisition dialog open"
press_in '^Bild scannen$' Return
wait_gone '^Bild scannen$'

echo "--- the main window after the scan"
"$atspi_python" "$tree" check "$scanned" || fail "the picture's description did not follow the scan"
close_program
echo "PASS: every control of the window is named, with its role, over AT-SPI"
