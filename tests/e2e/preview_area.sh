#!/usr/bin/env bash
# The preview with the keyboard and the mouse: Alt+B opens the acquisition dialog, Alt+V
# shows the glass, a rectangle is dragged on it, Return scans, Alt+A copies; the pasted
# picture is exactly what scanimage gives for the area the dialog set. The pane is found
# where a screen reader finds it, over AT-SPI.
source "$(dirname "$0")/session.sh"

tree="$(dirname "$0")/accessibility_tree.py"
atspi_python=/usr/bin/python3
sane_config 'number_of_devices 1' 'mode Color' 'depth 8' 'resolution 75.0' \
  'test-picture "Color pattern"' 'geometry_max 297.0' 'br_x 210.0' 'br_y 297.0'
start_x
eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
start_program

key alt+g
wait_window '^Scanner auswählen$' >/dev/null
sleep 1
press_in '^Scanner auswählen$' Return
wait_gone '^Scanner auswählen$'
xdotool windowactivate --sync "$main_window"
key alt+b
dialog=$(wait_window '^Bild scannen$')
sleep 1
"$atspi_python" "$tree" extents "Vorschau der Scanfläche" "210 × 297 mm" >/dev/null || fail "no preview pane"
press_in '^Bild scannen$' alt+v
# The colour pattern fills the glass: "Automatisch" takes all of it once the preview is in.
read -r x y w h < <("$atspi_python" "$tree" extents "Vorschau der Scanfläche" "297 × 297 mm") ||
  fail "the preview did not select the glass"

# The pane shows the square glass 8 px inside its edges, centred.
side=$(( (w < h ? w : h) - 16 ))
gx=$(( x + (w - side) / 2 )) gy=$(( y + (h - side) / 2 ))
at() { echo $(( gx + side * $1 / 297 )) $(( gy + side * $2 / 297 )); }
xdotool mousemove $(at 40 60) mousedown 1
for step in 1 2 3 4 5 6; do
  xdotool mousemove $(at $(( 40 + step * 20 )) $(( 60 + step * 25 )))
  sleep 0.05
done
xdotool mouseup 1
"$atspi_python" "$tree" extents "Vorschau der Scanfläche" "Scanbereich" >/dev/null
sleep 1
xdotool windowactivate --sync "$dialog"
key Return
wait_gone '^Bild scannen$'
[ "$(window_count '^ Vistoramo$')" -eq 1 ] || fail "a message appeared after the scan"
copy_to_clipboard
paste_bmp "$work/pasted.bmp"

# The area the dialog set, as it remembered it, scanned again by scanimage.
ini="$XDG_CONFIG_HOME/vistoramo/vistoramo.ini"
value() { grep -F "\\$1=" "$ini" | head -n1 | sed 's/.*=//'; }
l=$(value 'tl-x') t=$(value 'tl-y') r=$(value 'br-x') b=$(value 'br-y')
[ -n "$l" ] && [ -n "$b" ] || fail "no area remembered: $(cat "$ini")"
python3 -c "import sys; l,t,r,b=map(float,sys.argv[1:]); sys.exit(0 if 30<l<50 and 50<t<70 and 140<r<180 and 190<b<230 else 1)" \
  "$l" "$t" "$r" "$b" || fail "the dragged area is not where it was dragged: $l $t $r $b"
scanimage -d test:0 --format=pnm --mode Color --resolution 75 -l "$l" -t "$t" -x "$(python3 -c "print($r-$l)")" \
  -y "$(python3 -c "print($b-$t)")" -o "$work/expected.pnm" || fail "scanimage could not scan"
"$compare" "$work/pasted.bmp" "$work/expected.pnm" || fail "the pasted picture is not the dragged area"
close_program
echo "PASS: preview, an area dragged on it, scanned and pasted exactly"
