#!/usr/bin/env bash
# Under Wayland (weston nested in the private X display), the picture copied with Alt+A can
# still be pasted as image/png once the program has gone: weston keeps one type of a
# selection, the first one offered. Skipped (exit 77) where weston, wl-paste or Qt's Wayland
# plugin is missing.
source "$(dirname "$0")/session.sh"

for tool in weston wl-paste; do
  command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed"; exit 77; }
done
plugins=$(qtpaths6 --query QT_INSTALL_PLUGINS 2>/dev/null || echo /usr/lib/x86_64-linux-gnu/qt6/plugins)
ls "$plugins"/platforms/libqwayland-* >/dev/null 2>&1 || { echo "SKIP: Qt's Wayland plugin is not installed"; exit 77; }

start_x
weston --backend=x11-backend.so --use-pixman --socket=vistoramo-e2e --idle-time=0 >"$work/weston.log" 2>&1 &
weston_pid=$!
pids+=($weston_pid)
export WAYLAND_DISPLAY=vistoramo-e2e
compositor=
for _ in $(seq 200); do
  compositor=$(xwininfo -root -tree 2>/dev/null | awk '/"Weston Compositor/ && !found { print $1; found = 1 }' || true)
  [ -n "$compositor" ] && break
  sleep 0.1
done
[ -n "$compositor" ] || fail "weston did not open its window: $(tail -n 5 "$work/weston.log")"
sleep 1
# Its shell and keyboard, stopped after it (while it runs it starts them again).
pids+=($(pgrep -P "$weston_pid" || true) "$weston_pid")

start_picture 600 400
prog="$work/prog"
copy_program "$prog"
QT_QPA_PLATFORM=wayland "$prog/vistoramo" >"$work/program.log" 2>&1 &
program_pid=$!
pids+=($program_pid)

# The program's window takes weston's focus when it opens; Alt+A copies, Return closes the
# message. Keys go to weston's window, which hands them to its focused client.
offered=
for _ in $(seq 30); do
  sleep 1
  xdotool windowactivate --sync "$compositor" 2>/dev/null || true
  key alt+a
  sleep 1
  offered=$(timeout 5 wl-paste --list-types 2>/dev/null | tr '\n' ' ' || true)
  [[ "$offered" == *image/png* ]] && break
done
[[ "$offered" == "image/png image/bmp "* ]] || fail "the copy offered '$offered', not image/png first: $(cat "$work/program.log")"
key Return
kill "$program_pid"
wait "$program_pid" 2>/dev/null || true

kept=$(timeout 5 wl-paste --list-types 2>/dev/null | tr '\n' ' ' || true)
timeout 5 wl-paste -t image/png >"$work/pasted.png" 2>/dev/null || fail "no image/png after the program ended (kept: '$kept')"
[ "$(head -c 8 "$work/pasted.png" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || fail "the pasted image/png is no PNG"
python3 -c 'import struct,sys; d=open(sys.argv[1],"rb").read(); sys.exit(struct.unpack(">II", d[16:24]) != (600, 400))' \
  "$work/pasted.png" || fail "the pasted PNG is not the 600 × 400 picture"
echo "PASS: after the program ended weston kept '$kept'; the paste is the picture as PNG"
