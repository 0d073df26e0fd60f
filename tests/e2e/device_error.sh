#!/usr/bin/env bash
# A device error shows in the acquisition dialog, which stays open for another try;
# giving up ends in the failure message and an empty view.
source "$(dirname "$0")/session.sh"

sane_config 'number_of_devices 1' 'mode Color' 'resolution 50.0' 'read-status-code "SANE_STATUS_JAMMED"'
start_x
start_program

key alt+b
wait_window '^Bild scannen$' >/dev/null
sleep 1
press_in '^Bild scannen$' Return
sleep 2
[ "$(window_count '^Bild scannen$')" -eq 1 ] || fail "the dialog closed on a device error"
[ "$(window_count '^ Vistoramo$')" -eq 1 ] || fail "a message box appeared while the dialog was open"
cancel_acquisition 1
[ ! -e "$prog/Temp.bmp" ] || fail "a partial Temp.bmp remained"
alive "$program_pid" || fail "the program ended"
close_program
echo "PASS: device error"
