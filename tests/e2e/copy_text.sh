#!/usr/bin/env bash
# "Text kopieren" with the keyboard: the start picture holds a rendered page of known text;
# Ctrl+Shift+C recognises it, the message tells of the copy, and another program pastes the
# text. Escape at once cancels a second recognition and leaves the clipboard as it was; and
# without language data the command says what to install, and the program goes on.
# Usage: copy_text.sh BIN_DIR TEXT_PAGE_TOOL
text_page=$2
source "$(dirname "$0")/session.sh"

mkdir -p "$work/prog"
QT_QPA_PLATFORM=offscreen "$text_page" page "$work/prog/Rastelo.bmp" "$work/expected.txt" || fail "no page of text"
start_x
start_program

echo vorher | xclip -selection clipboard -i
key ctrl+shift+c
press_in '^ Zwischenablage$' Return
wait_gone '^ Zwischenablage$'
xclip -o -selection clipboard -t text/plain >"$work/pasted.txt" || fail "no text/plain on the clipboard"
xclip -o -selection clipboard -t TARGETS | grep -qx 'text/plain;charset=utf-8' || fail "no text/plain;charset=utf-8"
QT_QPA_PLATFORM=offscreen "$text_page" accuracy "$work/expected.txt" "$work/pasted.txt" || fail "the pasted text differs: $(cat "$work/pasted.txt")"

# Cancelled at once: no message, and the clipboard holds what another program put there.
echo vorher | xclip -selection clipboard -i
xdotool windowactivate --sync "$main_window"
key ctrl+shift+c Escape
sleep 4
[ "$(window_count '^ Zwischenablage$')" -eq 0 ] || fail "a message after the cancelled recognition"
[ "$(xclip -o -selection clipboard -t text/plain)" = vorher ] || fail "the cancelled recognition changed the clipboard"
alive "$program_pid" || fail "the program ended"
close_program

# Without the language data: a message naming the package, and the program lives on.
mkdir -p "$work/no-tessdata"
export TESSDATA_PREFIX="$work/no-tessdata"
start_program
key ctrl+shift+c
wait_window '^ Zwischenablage$' >/dev/null
press_in '^ Zwischenablage$' Return
wait_gone '^ Zwischenablage$'
alive "$program_pid" || fail "the program ended without language data"
[ "$(xclip -o -selection clipboard -t text/plain)" = vorher ] || fail "the clipboard changed without language data"
close_program
echo "PASS: text copied and pasted; cancelled; no language data"
