#!/usr/bin/env bash
# A program ended by a signal (KILL, TERM, HUP) while its driver hangs in the middle of a page
# leaves its staged scan file, its lock or its private directory behind. The next copy's scan
# removes them, both in the program's directory and in a private directory under the runtime
# directory, and once that copy is closed nothing of either run is left.
source "$(dirname "$0")/session.sh"

faulty_sane_config
# What the runs left: staged files and the lock in the program's directory, private directories
# in the runtime directory.
left_overs() {
  (
    cd "$prog" && ls -A | not_program | sed 's|^|prog/|'
    cd "$XDG_RUNTIME_DIR" && ls -A | grep '^vistoramo-' | sed 's|^|runtime/|'
  ) | tr '\n' ' ' || true
}
scan() {
  xdotool windowactivate --sync "$main_window"
  key alt+b
  wait_window '^Bild scannen$' >/dev/null
  sleep 1
  press_in '^Bild scannen$' Return
}

start_x
mkdir -p "$work/prog"
for sig in KILL TERM HUP; do
  # The program's own directory, then one that others may write to (the scan goes to a
  # private directory then).
  for place in own shared; do
    echo "--- $sig, $place directory"
    start_program
    if [ $place = own ]; then chmod 0755 "$prog"; else chmod 0775 "$prog"; fi
    fault hang-read
    scan
    driver_hangs
    helper=$(pgrep -P "$program_pid" -x vistoramo-scann || true)
    [ -n "$helper" ] || fail "no scanner helper runs"
    kill -"$sig" "$program_pid"
    for _ in $(seq 100); do
      alive "$program_pid" || alive "$helper" || break
      sleep 0.1
    done
    ! alive "$program_pid" || fail "the program outlived SIG$sig"
    ! alive "$helper" || fail "the scanner helper outlived the program ended by SIG$sig"
    wait "$program_pid" 2>/dev/null || true
    left=$(left_overs)
    if [ $place = own ]; then
      [[ "$left" == *"prog/.Temp.bmp."*".part "* && "$left" == *"prog/Temp.bmp.lock "* ]] ||
        fail "the killed run left no staged file and lock in its directory: $left"
    else
      [[ "$left" == *"runtime/vistoramo-"* ]] || fail "the killed run left no private directory: $left"
    fi

    # The next copy scans, and the scan removes what the killed one left.
    fault none
    start_program
    scan
    wait_gone '^Bild scannen$'
    [ "$(window_count '^ Vistoramo$')" -eq 1 ] || fail "a message appeared after a good scan"
    left=$(left_overs)
    [ "$left" = "prog/Temp.bmp.lock " ] || [ -z "$left" ] || fail "after SIG$sig, the next scan left: $left"
    close_program
    left=$(left_overs)
    [ -z "$left" ] || fail "after SIG$sig and a closed program, left: $left"
  done
done
echo "PASS: nothing a killed run left survives the next scan"
