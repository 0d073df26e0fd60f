#!/usr/bin/env bash
# Two copies of the program in one program directory scan at once,
# Return pressed in both dialogs right after each other: both show their picture, and no
# file stays behind. Then Alt+B and Alt+G typed back to back open one dialog only.
source "$(dirname "$0")/session.sh"

sane_config 'number_of_devices 1' 'mode Color' 'depth 8' 'resolution 600.0' \
  'test-picture "Color pattern"' 'geometry_max 297.0' 'br_x 210.0' 'br_y 297.0'
start_x
prog="$work/Geräte"
mkdir -p "$prog"
copy_program "$prog"

# window_of PID REGEX: the id of that program's visible window with that name.
window_of() {
  local id
  for _ in $(seq 200); do
    id=$(xdotool search --all --onlyvisible --pid "$1" --name "$2" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window named '$2' of process $1"
}

copies=()
for _ in 1 2; do
  "$prog/vistoramo" >>"$work/program.log" 2>&1 &
  copies+=($!)
  pids+=($!)
done
for pid in "${copies[@]}"; do window_of "$pid" '^ Vistoramo$' >/dev/null; done

for round in $(seq 12); do
  dialogs=()
  for pid in "${copies[@]}"; do
    xdotool windowactivate --sync "$(window_of "$pid" '^ Vistoramo$')"
    key alt+b
    dialogs+=("$(window_of "$pid" '^Bild scannen$')")
  done
  sleep 1
  # Return to both dialogs at once (sent to each window, no activation between them).
  xdotool key --window "${dialogs[0]}" Return key --window "${dialogs[1]}" Return
  wait_gone "^Bild scannen$"
  sleep 2 # time for a failure message to appear
  [ "$(window_count '^ Vistoramo$')" -eq 2 ] || fail "round $round: a scan was lost (a message appeared)"
  # A loaded machine may still be showing the second page: its files go once it is shown.
  for _ in $(seq 100); do
    leftover=$(ls "$prog" | not_program || true)
    [ -z "$leftover" ] && break
    sleep 0.2
  done
  [ -z "$leftover" ] || fail "round $round: left in the program directory: $leftover"
done
for pid in "${copies[@]}"; do alive "$pid" || fail "a copy of the program ended"; done

# Alt+B and Alt+G back to back: the acquisition's dialog only, and it stays in front.
first=${copies[0]}
xdotool windowactivate --sync "$(window_of "$first" '^ Vistoramo$')"
key alt+b alt+g
window_of "$first" '^Bild scannen$' >/dev/null
sleep 2
[ "$(window_count '^Scanner auswählen$')" -eq 0 ] || fail "Alt+G opened the source dialog over the acquisition"
[ "$(window_count '^Bild scannen$')" -eq 1 ] || fail "not exactly one acquisition dialog"
cancel_acquisition 2
echo "PASS: two copies scanning into one directory; one scanner command at a time"
