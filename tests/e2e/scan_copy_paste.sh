#!/usr/bin/env bash
# The whole flow with the keyboard only: Alt+G chooses the test device, Alt+B scans its
# colour pattern, Alt+A copies it, and another program pastes exactly the scanned pixels;
# Ctrl+S saves it as PNG under a typed name. Then a cancelled scan ends in the failure
# message and leaves nothing to copy.
source "$(dirname "$0")/session.sh"

sane_config 'number_of_devices 1' 'mode Color' 'depth 8' 'resolution 75.0' \
  'test-picture "Color pattern"' 'geometry_max 297.0' 'br_x 210.0' 'br_y 297.0'
scanimage -d test:0 --format=pnm -o "$work/expected.pnm" || fail "scanimage could not scan"
start_x
start_program

# Another program owns the clipboard before the copy.
echo vorher | xclip -selection clipboard -i
choose_and_scan
[ "$(window_count '^ Vistoramo$')" -eq 1 ] || fail "a message appeared after a good scan"
[ ! -e "$prog/Temp.bmp" ] || fail "Temp.bmp remained after the scan"

copy_to_clipboard

xclip -selection clipboard -t TARGETS -o >"$work/targets"
grep -qx 'image/bmp' "$work/targets" || fail "no image/bmp on the clipboard: $(tr '\n' ' ' <"$work/targets")"
grep -qx 'image/png' "$work/targets" || fail "no image/png on the clipboard"
paste_bmp "$work/pasted.bmp"
"$compare" "$work/pasted.bmp" "$work/expected.pnm" || fail "the pasted picture differs from the scan"
xclip -selection clipboard -t image/png -o >"$work/pasted.png"
"$compare" "$work/pasted.png" "$work/expected.pnm" || fail "the pasted PNG differs from the scan"

# Saving: Ctrl+S, a name typed over the suggestion, Return; the file holds the scan.
xdotool windowactivate --sync "$main_window"
key ctrl+s
press_in '^Bild speichern$' ctrl+a
xdotool type --delay 30 "$work/gespeichert.png"
key Return
wait_gone '^Bild speichern$'
[ -s "$work/gespeichert.png" ] || fail "no file was saved"
"$compare" "$work/gespeichert.png" "$work/expected.pnm" || fail "the saved PNG differs from the scan"

# A cancelled scan: the failure message titled like the window, and an empty view.
xdotool windowactivate --sync "$main_window"
key alt+b
press_in '^Bild scannen$' Escape
wait_gone '^Bild scannen$'
expect_windows '^ Vistoramo$' 2 "no failure message after cancelling"
key Return
expect_windows '^ Vistoramo$' 1 "the failure message did not close"
# With the view empty, copying fails and the clipboard keeps the earlier picture.
copy_to_clipboard
paste_bmp "$work/after-cancel.bmp"
cmp -s "$work/after-cancel.bmp" "$work/pasted.bmp" || fail "the clipboard changed although there was no picture"
alive "$program_pid" || fail "the program ended"
close_program
echo "PASS: scan, copy and paste; cancel"
