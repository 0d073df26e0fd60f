#!/usr/bin/env bash
# Checks that need no build: every C++ file is formatted as .clang-format says, and every
# header compiles on its own (it includes what it uses). Run by scripts/test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" 2>/tmp/vistoramo-format.$$; then
  head -n 40 /tmp/vistoramo-format.$$
  rm -f /tmp/vistoramo-format.$$
  echo "FAILED: files not formatted; run: clang-format -i \$(git ls-files '*.cpp' '*.h')"
  exit 1
fi
rm -f /tmp/vistoramo-format.$$

mapfile -t headers < <(git ls-files 'src/*.h')
includes=(-Isrc)
read -r -a qt <<<"$(pkg-config --cflags Qt6Widgets)"
read -r -a sane <<<"$(pkg-config --cflags sane-backends)"
failed=0
for header in "${headers[@]}"; do
  if ! echo "#include \"$PWD/$header\"" | g++ -std=c++20 -fPIC -fsyntax-only -x c++ "${includes[@]}" "${qt[@]}" "${sane[@]}" - 2>/tmp/vistoramo-header.$$; then
    echo "$header does not compile on its own:"; head -n 5 /tmp/vistoramo-header.$$; failed=1
  fi
done
rm -f /tmp/vistoramo-header.$$
[ $failed = 0 ] || { echo "FAILED: headers that do not include what they use"; exit 1; }
echo "Lint: ${#sources[@]} files formatted, ${#headers[@]} headers self-contained"
