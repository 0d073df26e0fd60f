#!/usr/bin/env bash
# Whatever a clipboard manager does with the hand-off at exit, the program ends within its
# two-second bound: a manager asking for TARGETS every half second, one reading an
# incremental transfer a chunk every 0.4 s, and one sending a MULTIPLE list of 20,000 pairs.
source "$(dirname "$0")/session.sh"

hostile="$bin_dir/e2e_hostile_manager"
selection="$bin_dir/e2e_selection"
start_x
mkdir -p "$work/prog"
# A 72 MB page to copy without scanning: eighteen chunks of an incremental transfer.
start_picture 6000 4000

for mode in targets incr multiple; do
  "$hostile" "$mode" >"$work/$mode.log" 2>&1 &
  manager_pid=$!
  pids+=("$manager_pid")
  for _ in $(seq 100); do
    [ "$("$selection" owner CLIPBOARD_MANAGER)" = 1 ] && break
    sleep 0.1
  done
  start_program
  copy_to_clipboard
  xdotool windowactivate --sync "$main_window" 2>/dev/null || true
  start=$(date +%s%N)
  key alt+F4
  for _ in $(seq 600); do
    alive "$program_pid" || break
    sleep 0.05
  done
  took=$((($(date +%s%N) - start) / 1000000))
  alive "$program_pid" && fail "$mode: the program still runs after 30 s"
  echo "$mode: the program ended $took ms after its window was closed"
  grep -q 'hand-off requested' "$work/$mode.log" || fail "$mode: the manager was never asked: $(cat "$work/$mode.log")"
  case $mode in
    targets)
      grep -q 'asked for TARGETS' "$work/$mode.log" || fail "targets: the manager never asked"
      # The hand-off offers the small format first, as the clipboard does.
      grep -q '^targets: .*image/png image/bmp' "$work/$mode.log" ||
        fail "targets: not PNG before BMP: $(grep -m1 '^targets:' "$work/$mode.log")" ;;
    incr) grep -q 'read a chunk' "$work/$mode.log" || fail "incr: no incremental transfer began: $(cat "$work/$mode.log")" ;;
    multiple) grep -q 'MULTIPLE refused' "$work/$mode.log" || fail "multiple: the list was not refused: $(cat "$work/$mode.log")" ;;
  esac
  # The bound is two seconds; the rest is the window closing and the program's teardown.
  [ "$took" -le 3500 ] || fail "$mode: the program took $took ms to end"
  kill "$manager_pid"
  wait "$manager_pid" 2>/dev/null || true
done
echo "PASS: no clipboard manager holds the program up past its bound"
