#!/usr/bin/env bash
# The Debian package: built with CPack from the build tree, its control fields and file
# list, and the program started from the unpacked tree on the offscreen platform, where it
# must keep running quietly with its library beside it.
set -euo pipefail

cpack=$1 build_dir=$2 version=$3 bindir=$4 libdir=$5 datadir=$6 with_library=$7
work=$(mktemp -d /tmp/vistoramo-deb.XXXXXX)
pid=
cleanup() {
  if [ -n "$pid" ]; then
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*" >&2
  exit 1
}
source "$(dirname "$0")/layout.sh"

"$cpack" -G DEB --config "$build_dir/CPackConfig.cmake" -B "$work/out" >"$work/cpack.log" 2>&1 || {
  cat "$work/cpack.log" >&2
  fail "cpack failed"
}
debs=("$work/out"/vistoramo_"$version"_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || fail "no single vistoramo_${version}_*.deb: $(ls "$work/out")"
deb=${debs[0]}

# Control fields.
field() { dpkg-deb -f "$deb" "$1"; }
[ "$(field Package)" = vistoramo ] || fail "Package is $(field Package)"
[ "$(field Version)" = "$version" ] || fail "Version is $(field Version)"
[ "$(field Architecture)" = "$(dpkg --print-architecture)" ] || fail "Architecture is $(field Architecture)"
[ "$(field Section)" = graphics ] || fail "Section is $(field Section)"
[[ "$(field Maintainer)" == *@* ]] || fail "Maintainer has no address: $(field Maintainer)"
[ "$(field Description | wc -l)" -gt 2 ] || fail "the description has no long text"
depends=$(field Depends)
for package in libqt6widgets6 libqt6gui6 libqt6core6 libsane1 qt6-translations-l10n; do
  [[ ",$depends," =~ ,\ ?$package[\ ,] ]] || fail "Depends lacks $package: $depends"
done
[ "$(field Recommends)" = 'qt6-wayland, tesseract-ocr-deu, tesseract-ocr-eng' ] || fail "Recommends is '$(field Recommends)', not qt6-wayland and the language data"

# Debian's own checker: no error and no warning. Notes (I:, P:, X:) may stay; README and
# the closing notes of the packaging say why.
lintian --allow-root --fail-on error,warning "$deb" >"$work/lintian" 2>&1 ||
  fail "lintian reports errors or warnings: $(cat "$work/lintian")"

# Every entry lies under /usr, belongs to root, and the command is the relative link.
dpkg-deb -c "$deb" >"$work/contents"
awk '$6 != "./" && $6 !~ /^\.\/usr\// { print; bad = 1 } END { exit bad }' "$work/contents" ||
  fail "entries outside /usr"
awk '$2 != "root/root" { print; bad = 1 } END { exit bad }' "$work/contents" || fail "entries not owned by root"
grep -qE " \./usr/$bindir/vistoramo -> \.\./$libdir/vistoramo/vistoramo$" "$work/contents" ||
  fail "no link usr/$bindir/vistoramo -> ../$libdir/vistoramo/vistoramo"

dpkg -x "$deb" "$work/root"
check_layout "$work/root"

# Started through the command link, the program must take the program directory as its
# own: that is where it loads the scanner library from, and where it looks for its start
# picture. With the errors it swallows logged, a missing start picture would show; with
# the picture there it runs quietly, and nothing of it comes from the build tree.
# le32 N: N as four little-endian bytes, written as printf escapes.
le32() { printf '\\x%02x' $(($1 & 255)) $(($1 >> 8 & 255)) $(($1 >> 16 & 255)) $(($1 >> 24 & 255)); }
# black_bmp WIDTH HEIGHT: a black 24-bit BMP; WIDTH a multiple of 4, so rows need no padding.
black_bmp() {
  local size=$(($1 * $2 * 3))
  printf "BM$(le32 $((54 + size)))$(le32 0)$(le32 54)"
  printf "$(le32 40)$(le32 "$1")$(le32 "$2")\\x01\\x00\\x18\\x00$(le32 0)$(le32 $size)"
  printf "$(le32 2835)$(le32 2835)$(le32 0)$(le32 0)"
  head -c $size /dev/zero
}
black_bmp 400 300 >"$work/root/usr/$libdir/vistoramo/Rastelo.bmp"
mkdir -m 700 "$work/runtime"
XDG_RUNTIME_DIR="$work/runtime" QT_QPA_PLATFORM=offscreen QT_LOGGING_RULES="vistoramo.errors.debug=true" \
  "$work/root/usr/$bindir/vistoramo" \
  >"$work/stdout" 2>"$work/stderr" &
pid=$!
sleep 2
kill -0 "$pid" 2>/dev/null || fail "the program ended at once: $(cat "$work/stderr")"
[ "$(readlink "/proc/$pid/exe")" = "$(readlink -f "$work/root/usr/$libdir/vistoramo/vistoramo")" ] ||
  fail "the program runs as $(readlink "/proc/$pid/exe")"
if grep -F "$build_dir" "/proc/$pid/maps"; then
  fail "the program uses files from the build tree"
fi
kill "$pid"
wait "$pid" 2>/dev/null || true
pid=
[ ! -s "$work/stdout" ] && [ ! -s "$work/stderr" ] ||
  fail "the program printed: $(cat "$work/stdout" "$work/stderr")"
