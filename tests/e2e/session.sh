# Shared by the end-to-end tests: a private X display with a window manager, the program in
# a program directory of its own, SANE with only the test device, and waits with timeouts.
# Everything started here is stopped by its process id when the test ends.
set -euo pipefail

bin_dir=$1
compare=$2
work=$(mktemp -d /tmp/vistoramo-e2e.XXXXXX)
pids=()

cleanup() {
  local status=$?
  for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
    kill "${pids[i]}" 2>/dev/null || true
  done
  for pid in "${pids[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
  if [ $status -ne 0 ] && [ -n "${keep_on_failure:-}" ]; then
    echo "kept $work"
  else
    rm -rf "$work"
  fi
}
trap cleanup EXIT

fail() {
  echo "FAIL: $*" >&2
  exit 1
}

# start_x: Xvfb on a free display, then openbox.
start_x() {
  exec 3>"$work/display"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
  pids+=($!)
  exec 3>&-
  for _ in $(seq 300); do
    [ -s "$work/display" ] && break
    sleep 0.1
  done
  [ -s "$work/display" ] || fail "Xvfb did not start"
  export DISPLAY=":$(head -n1 "$work/display")"
  export XDG_RUNTIME_DIR="$work/runtime" XDG_CONFIG_HOME="$work/config"
  mkdir -m 700 -p "$XDG_RUNTIME_DIR"
  # A loaded machine (a parallel build, another test's X server) can take seconds here; a
  # window manager that gave up at once (seen now and then on a display just started) is
  # started again.
  local attempt
  for attempt in 1 2 3; do
    openbox >"$work/openbox.log" 2>&1 &
    local wm=$!
    pids+=($wm)
    for _ in $(seq 300); do
      xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
      kill -0 "$wm" 2>/dev/null || break
      sleep 0.1
    done
    echo "window manager, attempt $attempt:" >&2
    cat "$work/openbox.log" >&2
    kill "$wm" 2>/dev/null || true
    sleep 0.5
  done
  fail "the window manager did not start"
}

# sane_config TEST_CONF_LINES...: SANE with the test backend alone.
sane_config() {
  export SANE_CONFIG_DIR="$work/sane"
  mkdir -p "$SANE_CONFIG_DIR"
  echo test >"$SANE_CONFIG_DIR/dll.conf"
  printf '%s\n' "$@" >"$SANE_CONFIG_DIR/test.conf"
}

# faulty_sane_config: SANE with our faulty driver alone (tests/faultysane); it scans well
# until told otherwise: "fault NAME" sets the fault, driver_hangs waits until it hangs.
faulty_sane_config() {
  export SANE_CONFIG_DIR="$work/sane"
  mkdir -p "$SANE_CONFIG_DIR"
  echo faulty >"$SANE_CONFIG_DIR/dll.conf"
  export LD_LIBRARY_PATH="$FAULTY_SANE_DIR${LD_LIBRARY_PATH:+:$LD_LIBRARY_PATH}"
}
fault() {
  rm -f "$SANE_CONFIG_DIR/faulty.hanging"
  echo "fault $1" >"$SANE_CONFIG_DIR/faulty.conf"
}
driver_hangs() {
  for _ in $(seq 200); do
    [ -e "$SANE_CONFIG_DIR/faulty.hanging" ] && return 0
    sleep 0.1
  done
  fail "the driver never hung"
}

# start_picture W H: a 24-bit start picture of that size (300 dpi, a pattern) in the
# program's directory, so that there is a picture to copy without scanning.
start_picture() {
  mkdir -p "$work/prog"
  python3 - "$work/prog/Rastelo.bmp" "$1" "$2" <<'PY'
import struct, sys
w, h = int(sys.argv[2]), int(sys.argv[3])
row = bytes((x * 7 + 13) % 256 for x in range(w * 3))
with open(sys.argv[1], "wb") as f:
    f.write(b"BM" + struct.pack("<IHHI", 54 + w * h * 3, 0, 0, 54))
    f.write(struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, w * h * 3, 11811, 11811, 0, 0))
    for _ in range(h):
        f.write(row)
PY
}

# start_program: the real program and its scanner library in a directory of their own.
# The program's directory as it is installed: the program and the libraries it loads.
program_files=(vistoramo libvistoramo-ocr.so libvistoramo-scan.so vistoramo-scanner)

# copy_program DIR: the program's files into DIR.
copy_program() {
  local file
  for file in "${program_files[@]}"; do cp "$bin_dir/$file" "$1/"; done
}

# not_program: reads names and writes those that are not the program's own files.
not_program() {
  grep -v -x "${program_files[@]/#/-e}"
}

start_program() {
  prog="$work/prog"
  mkdir -p "$prog"
  copy_program "$prog"
  ${RUN_UNDER:-} "$prog/vistoramo" >"$work/program.log" 2>&1 &
  program_pid=$!
  pids+=($program_pid)
  main_window=$(wait_window '^ Vistoramo$')
  xdotool windowactivate --sync "$main_window"
}

# wait_window REGEX: the id of a visible window with that name, waiting up to 20 s
# (times E2E_SLOW, for a program under valgrind).
wait_window() {
  local id
  for _ in $(seq $((200 * ${E2E_SLOW:-1}))); do
    id=$(xdotool search --onlyvisible --name "$1" 2>/dev/null | head -n1 || true)
    [ -n "$id" ] && { echo "$id"; return 0; }
    sleep 0.1
  done
  fail "no window named '$1'"
}

# window_count REGEX: how many visible windows have that name.
window_count() {
  xdotool search --onlyvisible --name "$1" 2>/dev/null | wc -l
}

# expect_windows REGEX N WHY: waits up to 10 s for N visible windows of that name.
expect_windows() {
  for _ in $(seq $((100 * ${E2E_SLOW:-1}))); do
    [ "$(window_count "$1")" -eq "$2" ] && return 0
    sleep 0.1
  done
  fail "$3"
}

# wait_gone REGEX: until no visible window has that name, up to 60 s.
wait_gone() {
  for _ in $(seq $((600 * ${E2E_SLOW:-1}))); do
    [ "$(window_count "$1")" -eq 0 ] && return 0
    sleep 0.1
  done
  fail "window '$1' stayed open"
}

# alive PID: the process runs (an ended child not yet waited for does not count).
alive() {
  [ -r "/proc/$1/stat" ] && ! awk '{ exit ($3 == "Z" ? 0 : 1) }' "/proc/$1/stat"
}

# close_program: closes the main window as the user would (Alt+F4 through the window
# manager) and waits for the program to end.
close_program() {
  xdotool windowactivate --sync "$main_window" 2>/dev/null || true
  key alt+F4
  for _ in $(seq $((300 * ${E2E_SLOW:-1}))); do
    alive "$program_pid" || return 0
    sleep 0.1
  done
  fail "the program did not end when its window was closed"
}

key() {
  xdotool key --clearmodifiers "$@"
}

# press KEY on the window named REGEX, once it is there and active.
press_in() {
  local id
  id=$(wait_window "$1")
  xdotool windowactivate --sync "$id" 2>/dev/null || true
  if [ "${E2E_SLOW:-1}" -gt 1 ]; then sleep 2; else sleep 0.3; fi
  key "$2"
}

# choose_and_scan: Alt+G and Return take the first device; Alt+B and Return scan with the
# dialog's settings, and the dialog closes by itself.
choose_and_scan() {
  key alt+g
  wait_window '^Scanner auswählen$' >/dev/null
  sleep $((${E2E_SLOW:-1}))
  press_in '^Scanner auswählen$' Return
  wait_gone '^Scanner auswählen$'

  xdotool windowactivate --sync "$main_window"
  key alt+b
  wait_window '^Bild scannen$' >/dev/null
  sleep $((${E2E_SLOW:-1}))
  press_in '^Bild scannen$' Return
  wait_gone '^Bild scannen$'
}

# cancel_acquisition N: Escape in the acquisition dialog; the failure message appears beside
# the N main windows, and Return closes it.
cancel_acquisition() {
  press_in '^Bild scannen$' Escape
  wait_gone '^Bild scannen$'
  expect_windows '^ Vistoramo$' $(($1 + 1)) "no failure message after cancelling"
  key Return
  expect_windows '^ Vistoramo$' "$1" "the failure message did not close"
}

# copy_to_clipboard: Alt+A, and Return on the message.
copy_to_clipboard() {
  xdotool windowactivate --sync "$main_window"
  key alt+a
  press_in '^ Zwischenablage$' Return
  wait_gone '^ Zwischenablage$'
}

paste_bmp() {
  xclip -selection clipboard -t image/bmp -o >"$1"
}
