#!/usr/bin/env bash
# The end-to-end flow with the program under valgrind's memcheck: choose the source, scan,
# copy, close. No invalid read or write may have a frame in our own code.
source "$(dirname "$0")/session.sh"

export E2E_SLOW=4
export RUN_UNDER="valgrind --tool=memcheck --num-callers=30 --log-file=$work/valgrind.log"
sane_config 'number_of_devices 1' 'mode Color' 'resolution 50.0' 'test-picture "Color pattern"'
start_x
start_program
choose_and_scan
copy_to_clipboard
[ ! -e "$prog/Temp.bmp" ] || fail "Temp.bmp remained after the scan"
close_program

# Each error is a block of lines; keep the invalid accesses with a frame in our code.
ours=$(awk '
  /== Invalid (read|write)/ { block = $0; inblock = 1; next }
  inblock && /==[0-9]+== *$/ { if (block ~ /(vistoramo|src\/(runtime|ui|files|scanner|scanlib)\/)/) print block "\n"; inblock = 0; next }
  inblock { block = block "\n" $0 }
' "$work/valgrind.log")
grep -E 'ERROR SUMMARY' "$work/valgrind.log" || fail "valgrind wrote no summary"
if [ -n "$ours" ]; then
  echo "$ours"
  fail "invalid memory accesses in our code"
fi
echo "PASS: memcheck over choose, scan, copy and close"
