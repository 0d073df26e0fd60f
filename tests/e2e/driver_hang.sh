#!/usr/bin/env bash
# A driver that stops in the middle of a page (tests/faultysane): Escape ends the scan
# within seconds, Escape again closes the dialog, the failure message follows, and the
# next scan pastes exactly what scanimage gets from the device. A search that hangs does
# not hold up quitting, and the scanner helper never outlives the program, also when the
# program is killed.
source "$(dirname "$0")/session.sh"

faulty_sane_config
helper_of() {
  pgrep -P "$1" -x vistoramo-scann || true
}
fault none
scanimage -d faulty:0 --format=pnm -o "$work/expected.pnm" || fail "scanimage could not scan"
start_x
start_program

fault hang-read
key alt+b
wait_window '^Bild scannen$' >/dev/null
sleep 1
press_in '^Bild scannen$' Return
driver_hangs # after part of the page
hung=$(helper_of "$program_pid")
[ -n "$hung" ] || fail "no scanner helper runs"
press_in '^Bild scannen$' Escape
sleep 4 # the helper is given 3 s to stop
[ "$(window_count '^Bild scannen$')" -eq 1 ] || fail "the dialog closed without a second Escape"
! kill -0 "$hung" 2>/dev/null || fail "the hung helper still runs"
press_in '^Bild scannen$' Escape
wait_gone '^Bild scannen$'
expect_windows '^ Vistoramo$' 2 "no failure message after the hang"
key Return
expect_windows '^ Vistoramo$' 1 "the failure message did not close"
[ -z "$(ls -A "$prog" | not_program)" ] ||
  fail "files remained: $(ls -A "$prog" | tr '\n' ' ')"
alive "$program_pid" || fail "the program ended"

# The next scan works and pastes exactly.
fault none
choose_and_scan
[ "$(window_count '^ Vistoramo$')" -eq 1 ] || fail "a message appeared after a good scan"
copy_to_clipboard
paste_bmp "$work/pasted.bmp"
"$compare" "$work/pasted.bmp" "$work/expected.pnm" || fail "the pasted picture differs from the scan"

# A search that hangs: the dialog closes at once, and so does the program.
fault hang-list
xdotool windowactivate --sync "$main_window"
key alt+g
wait_window '^Scanner auswählen$' >/dev/null
driver_hangs
hung=$(helper_of "$program_pid")
press_in '^Scanner auswählen$' Escape
wait_gone '^Scanner auswählen$'
xdotool windowactivate --sync "$main_window"
key alt+F4
for _ in $(seq 10); do
  alive "$program_pid" || break
  sleep 0.1
done
! alive "$program_pid" || fail "the program did not end within a second while its helper hung"
[ -n "$hung" ] && ! kill -0 "$hung" 2>/dev/null || fail "the helper outlived the program"

# Killed, the program takes its helper with it.
fault hang-list
start_program
key alt+g
wait_window '^Scanner auswählen$' >/dev/null
driver_hangs
hung=$(helper_of "$program_pid")
[ -n "$hung" ] || fail "no scanner helper runs"
kill -KILL "$program_pid"
for _ in $(seq 20); do
  kill -0 "$hung" 2>/dev/null || break
  sleep 0.1
done
! kill -0 "$hung" 2>/dev/null || fail "the helper outlived the killed program"
echo "PASS: driver hang, next scan, quitting"
