#!/usr/bin/env bash
# Checks of the sources: every C++ file is formatted as .clang-format says, every include
# names its folder and keeps to the layers, every header compiles on its own (it includes what
# it uses), and clang-tidy (.clang-tidy) finds nothing in src/. Run by scripts/test.sh.
# "--no-tidy" skips clang-tidy, "--tidy" runs it alone (it needs a configured build tree,
# which it makes).
set -euo pipefail
cd "$(dirname "$0")/.."

tidy() {
  cmake --preset default >/dev/null
  mapfile -t units < <(git ls-files 'src/*.cpp')
  local log=/tmp/vistoramo-tidy.$$
  if ! printf '%s\n' "${units[@]}" | xargs -P "${TIDY_JOBS:-$(nproc)}" -n 4 clang-tidy -p build/default --quiet >"$log" 2>&1; then
    grep -E 'error:|warning:' "$log" | head -n 40
    rm -f "$log"
    echo "FAILED: clang-tidy found faults (.clang-tidy)"
    exit 1
  fi
  rm -f "$log"
  echo "clang-tidy: ${#units[@]} files clean"
}
case "${1:-}" in
  --tidy) tidy; exit 0 ;;
esac

mapfile -t sources < <(git ls-files '*.cpp' '*.h')
if ! clang-format --dry-run --Werror "${sources[@]}" 2>/tmp/vistoramo-format.$$; then
  head -n 40 /tmp/vistoramo-format.$$
  rm -f /tmp/vistoramo-format.$$
  echo "FAILED: files not formatted; run: clang-format -i \$(git ls-files '*.cpp' '*.h')"
  exit 1
fi
rm -f /tmp/vistoramo-format.$$

# Every include names its folder, SANE is included by the helper's code alone, and each folder
# uses only the layers below it (so there is no circle between folders).
declare -A uses=(
  [base]="base" [image]="base image" [ocr]="base image ocr" [runtime]="base image runtime"
  [scanlib-loader]="base runtime scanlib-loader scanlib/api" [widgets]="base widgets"
  [ui]="base image ocr runtime scanlib-loader widgets ui"
  [app]="base runtime ui app" [scanlib/api]="scanlib/api" [scanlib/wire]="base scanlib/wire"
  [scanlib/client]="base image scanlib/api scanlib/wire widgets scanlib/client"
  [scanlib/helper]="base image scanlib/wire scanlib/helper")
layering=0
while IFS=: read -r file _ line; do
  included=$(sed -E 's/^#include *"([^"]*)".*/\1/' <<<"$line")
  folder=$(dirname "${file#src/}")
  if [[ $included != */* ]]; then
    echo "$file: include without its folder: $included"; layering=1; continue
  fi
  target=$(dirname "$included")
  [[ " ${uses[$folder]:-} " == *" $target "* ]] || { echo "$file: $folder may not include $included"; layering=1; }
done < <(git grep -n -E '^#include *"' -- 'src/*')
if git grep -l -E '#include *<sane/' -- 'src/*' | grep -v '^src/scanlib/helper/'; then
  echo "SANE's headers outside src/scanlib/helper/"; layering=1
fi
[ $layering = 0 ] || { echo "FAILED: includes that break the layers"; exit 1; }

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
echo "Lint: ${#sources[@]} files formatted, includes layered, ${#headers[@]} headers self-contained"
[ "${1:-}" = --no-tidy ] || tidy
