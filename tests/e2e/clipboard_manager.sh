#!/usr/bin/env bash
# The copied picture outlives the program: with a clipboard manager running (xfsettingsd), an
# A4 page scanned at 600 dpi is copied, the program is closed, and another program pastes
# the same pixels from the manager, as BMP and as PNG. A manager that never answers does not
# hold the program up: it ends without waiting out Qt's own hand-off.
source "$(dirname "$0")/session.sh"

selection="$bin_dir/e2e_selection"
sane_config 'number_of_devices 1' 'mode Color' 'depth 8' 'resolution 600.0' \
  'test-picture "Color pattern"' 'geometry_max 297.0' 'br_x 210.0' 'br_y 297.0'
scanimage -d test:0 --format=pnm -o "$work/expected.pnm" || fail "scanimage could not scan"
start_x

# wait_manager 0|1: until a clipboard manager is there (1) or gone (0).
wait_manager() {
  for _ in $(seq 100); do
    [ "$("$selection" owner CLIPBOARD_MANAGER)" = "$1" ] && return 0
    sleep 0.1
  done
  fail "the clipboard manager did not $([ "$1" = 1 ] && echo start || echo stop)"
}

eval "$(dbus-launch --sh-syntax)"
pids+=("$DBUS_SESSION_BUS_PID")
xfsettingsd --disable-wm-check >"$work/xfsettingsd.log" 2>&1 &
manager_pid=$!
pids+=("$manager_pid")
wait_manager 1

start_program
choose_and_scan
copy_to_clipboard
close_program
grep -q 'clipboard manager' "$work/program.log" && fail "Qt's hand-off at exit: $(cat "$work/program.log")"
xclip -selection clipboard -t image/bmp -o >"$work/pasted.bmp" || fail "the manager holds no image/bmp"
"$compare" "$work/pasted.bmp" "$work/expected.pnm" || fail "the BMP pasted from the manager differs from the scan"
xclip -selection clipboard -t image/png -o >"$work/pasted.png" || fail "the manager holds no image/png"
"$compare" "$work/pasted.png" "$work/expected.pnm" || fail "the PNG pasted from the manager differs from the scan"

# A manager that takes the hand-off and never answers.
kill "$manager_pid"
wait "$manager_pid" 2>/dev/null || true
wait_manager 0
"$selection" hold CLIPBOARD_MANAGER &
pids+=($!)
wait_manager 1
mkdir -p "$work/prog"
cp "$work/pasted.bmp" "$work/prog/Rastelo.bmp" # a picture to copy without scanning
start_program
copy_to_clipboard
close_program
grep -q 'clipboard manager' "$work/program.log" && fail "the program waited out Qt's hand-off: $(cat "$work/program.log")"
echo "PASS: the copied page survives the program through the clipboard manager; a silent manager holds nothing up"
