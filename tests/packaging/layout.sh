# Shared by the installation tests: what an installed tree under ROOT/usr must hold, and
# nothing more. Sourced; expects fail() and the variables bindir, libdir, datadir and
# with_library (1 when the scanner library is built).

# check_layout ROOT
check_layout() {
  local root=$1
  local usr="$root/usr"
  local progdir="$usr/$libdir/vistoramo"
  local icons="$usr/$datadir/icons/hicolor"

  local expected=("$usr/$bindir/vistoramo" "$progdir/vistoramo"
    "$usr/$datadir/applications/vistoramo.desktop"
    "$usr/$datadir/metainfo/io.github.vistoramo.Vistoramo.metainfo.xml"
    "$icons/scalable/apps/vistoramo.svg"
    "$usr/$datadir/doc/vistoramo/copyright" "$usr/$datadir/doc/vistoramo/changelog.gz"
    "$usr/$datadir/man/man1/vistoramo.1.gz" "$usr/$datadir/man/de/man1/vistoramo.1.gz")
  local size
  for size in 16 32 48 256; do
    expected+=("$icons/${size}x${size}/apps/vistoramo.png")
  done
  expected+=("$progdir/libvistoramo-ocr.so")
  [ "$with_library" = 1 ] && expected+=("$progdir/libvistoramo-scan.so" "$progdir/vistoramo-scanner")
  diff <(printf '%s\n' "${expected[@]}" | sort) <(find "$root" -mindepth 1 ! -type d | sort) >&2 ||
    fail "the installed files differ from the expected ones (< expected, > installed)"

  # The command is a relative link to the program, so the tree can be moved as a whole.
  local link="$usr/$bindir/vistoramo"
  [ -L "$link" ] || fail "$link is not a link"
  [[ "$(readlink "$link")" != /* ]] || fail "$link is an absolute link: $(readlink "$link")"
  [ "$(readlink -f "$link")" = "$(readlink -f "$progdir/vistoramo")" ] || fail "$link does not lead to the program"
  [ ! -L "$progdir/vistoramo" ] && [ -x "$progdir/vistoramo" ] || fail "the program is not an executable file"

  # Nothing may point back into the build tree.
  local binary
  for binary in "$progdir"/*; do
    if readelf -d "$binary" | grep -E 'R(UN)?PATH'; then
      fail "$binary keeps a search path"
    fi
  done
  if ldd "$progdir/libvistoramo-ocr.so" | grep 'not found'; then
    fail "the text recognition's engine misses libraries"
  fi
  # Tesseract and what it needs would be loaded at every start; only the engine links it.
  if ldd "$progdir/vistoramo" | grep -E 'libtesseract|liblept'; then
    fail "the program links the text recognition itself"
  fi
  if [ "$with_library" = 1 ] && ldd "$progdir/libvistoramo-scan.so" "$progdir/vistoramo-scanner" | grep 'not found'; then
    fail "the scanner library or its helper misses libraries"
  fi
  if [ "$with_library" = 1 ]; then
    [ ! -L "$progdir/vistoramo-scanner" ] && [ -x "$progdir/vistoramo-scanner" ] ||
      fail "the scanner library's helper is not an executable file"
  fi

  for size in 16 32 48 256; do
    file "$icons/${size}x${size}/apps/vistoramo.png" | grep -q "PNG image data, $size x $size," ||
      fail "the ${size}x${size} icon is not a $size px PNG"
  done
  grep -q '<svg' "$icons/scalable/apps/vistoramo.svg" || fail "the scalable icon is no SVG"

  # The manual pages read without a warning, in English and in German.
  local page warnings
  for page in "$usr/$datadir/man/man1/vistoramo.1.gz" "$usr/$datadir/man/de/man1/vistoramo.1.gz"; do
    warnings=$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l -Tutf8 -Z "$page" 2>&1 >/dev/null) ||
      fail "man cannot format $page"
    [ -z "$warnings" ] || fail "$page: $warnings"
  done
  zcat "$usr/$datadir/man/de/man1/vistoramo.1.gz" | grep -q '^\.SH BESCHREIBUNG' ||
    fail "the German manual page is not German"
}
