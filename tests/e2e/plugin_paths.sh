#!/usr/bin/env bash
# Qt's plugins come from the system's directories only, never from the program's own directory,
# where whoever may write could otherwise run code in the program.
set -euo pipefail
bindir=$1
log=$(mktemp /tmp/vistoramo-plugins.XXXXXX)
QT_DEBUG_PLUGINS=1 QT_QPA_PLATFORM=offscreen "$bindir"/vistoramo >"$log" 2>&1 &
pid=$!
for _ in $(seq 50); do
  grep -q 'accessiblebridge\|styles' "$log" && break
  sleep 0.1
done
kill "$pid" 2>/dev/null || true
wait "$pid" 2>/dev/null || true
searched=$(grep -c 'checking directory path' "$log" || true)
ours=$(grep -F "checking directory path \"$(realpath "$bindir")/" "$log" || true)
rm -f "$log"
if [ "$searched" = 0 ]; then echo "FAILED: the program searched no plugin directory at all"; exit 1; fi
if [ -n "$ours" ]; then echo "FAILED: plugins were looked for in the program's directory:"; echo "$ours"; exit 1; fi
echo "plugins: $searched directories searched, none in the program's directory"
