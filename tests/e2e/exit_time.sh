#!/usr/bin/env bash
# Without a clipboard manager the program ends as soon as its window has closed, with and
# without its picture on the clipboard: nothing waits for a hand-off no one would take.
source "$(dirname "$0")/session.sh"

selection="$bin_dir/e2e_selection"
start_x
[ "$("$selection" owner CLIPBOARD_MANAGER)" = 0 ] || fail "a clipboard manager runs on the private display"

# closed_to_gone WHAT: Alt+F4, then prints the time from the window unmapped to the process
# gone; fails when that takes a second (the teardown takes milliseconds; a wait for a
# hand-off took 1.2 s and more) or the process still runs 1.5 s after the window went.
closed_to_gone() {
  xdotool windowactivate --sync "$main_window" 2>/dev/null || true
  local pressed
  pressed=$(date +%s%N)
  key alt+F4
  local gone=
  for _ in $(seq 3000); do
    if [ -z "$gone" ] && ! xwininfo -id "$main_window" 2>/dev/null | grep -q IsViewable; then
      gone=$(date +%s%N)
    fi
    alive "$program_pid" || break
    [ -n "$gone" ] && [ $((($(date +%s%N) - gone) / 1000000)) -gt 1500 ] && break
    sleep 0.005
  done
  local ended
  ended=$(date +%s%N)
  alive "$program_pid" && fail "$1: the program still runs 1.5 s after its window went"
  [ -n "$gone" ] || gone=$ended
  local took=$(((ended - gone) / 1000000))
  [ "$took" -lt 1000 ] || fail "$1: the program ended only $took ms after its window went"
  echo "$1: the window went $(((gone - pressed) / 1000000)) ms after Alt+F4, the program $took ms after it"
}

start_program
closed_to_gone "nothing copied"

mkdir -p "$work/prog"
start_picture 2480 3508
start_program
copy_to_clipboard
closed_to_gone "an A4 page at 300 dpi copied"
grep -q 'clipboard manager' "$work/program.log" && fail "Qt waited for a clipboard manager: $(cat "$work/program.log")"
echo "PASS: without a clipboard manager the program ends when its window closes"
