#!/usr/bin/env bash
# The end-to-end flow with the program under valgrind's memcheck: choose the source, scan,
# copy, close. No error valgrind finds may have a frame in our own code (under src/).
source "$(dirname "$0")/session.sh"

# Frames show their files from the source root on ("src/runtime/Form.cpp:12"; where the
# compiler recorded them relative to the build directory, "build/default/../../src/...");
# the system's libraries show no such path.
source_root=$(cd "$(dirname "$0")/../.." && pwd)

export E2E_SLOW=4
export RUN_UNDER="valgrind --tool=memcheck --num-callers=30 --error-exitcode=99 --fullpath-after=$source_root/ --log-file=$work/valgrind.log"
sane_config 'number_of_devices 1' 'mode Color' 'resolution 50.0' 'test-picture "Color pattern"'
start_x
start_program
choose_and_scan
copy_to_clipboard
[ ! -e "$prog/Temp.bmp" ] || fail "Temp.bmp remained after the scan"
close_program
status=0
wait "$program_pid" || status=$?

# Each error is a block of lines from its headline to an empty "==pid==" line; keep those
# whose innermost frame (past valgrind's own replacements of memcpy, malloc and the like)
# lies in a file under src/. Every stack passes through main(), so deeper frames say nothing.
ours=$(awk '
  /^==[0-9]+== [A-Z]/ && !inblock { block = $0; inblock = 1; top = ""; next }
  inblock && /^==[0-9]+== *$/ {
    if (top ~ /\(([^ ()]*\/)?src\/(base|image|runtime|ui|scanlib|scanlib-loader|app)\/[^:)]+:[0-9]+\)/) print block "\n"
    inblock = 0; next
  }
  inblock {
    block = block "\n" $0
    if (top == "" && $0 ~ /^==[0-9]+== +(at|by) 0x/ && $0 !~ /vg_replace_/) top = $0
  }
' "$work/valgrind.log")
grep -E 'ERROR SUMMARY' "$work/valgrind.log" || fail "valgrind wrote no summary"
if [ "$status" -ne 0 ] && [ "$status" -ne 99 ]; then
  fail "the program ended with status $status"
fi
if [ "$status" -eq 99 ] && [ -n "$ours" ]; then
  echo "$ours"
  fail "memory errors in our code"
fi
echo "PASS: memcheck over choose, scan, copy and close"
