#!/usr/bin/env bash
# The menu entry and the software-centre data: both pass their validators without a remark,
# and they agree with each other, with the installed icon name and with the project version.
set -euo pipefail

desktop=$1
metainfo=$2
version=$3
fail() {
  echo "FAIL: $*" >&2
  exit 1
}

remarks=$(desktop-file-validate "$desktop" 2>&1) || fail "desktop-file-validate rejects it: $remarks"
[ -z "$remarks" ] || fail "desktop-file-validate has remarks: $remarks"
appstreamcli validate --no-net --strict "$metainfo" || fail "appstreamcli rejects the metainfo file"

key() { sed -n "s/^$1=//p" "$desktop"; }
[ "$(key Exec)" = vistoramo ] || fail "Exec is not the installed command: $(key Exec)"
[ "$(key Icon)" = vistoramo ] || fail "Icon is not the installed icon name: $(key Icon)"
[ "$(key Terminal)" = false ] || fail "Terminal is not false"
for category in Graphics Scanning; do
  [[ ";$(key Categories)" == *";$category;"* ]] || fail "Categories lack $category: $(key Categories)"
done

launchable=$(sed -n 's:.*<launchable type="desktop-id">\(.*\)</launchable>.*:\1:p' "$metainfo")
[ "$launchable" = "$(basename "$desktop")" ] || fail "the metainfo launches '$launchable', not $(basename "$desktop")"
binary=$(sed -n 's:.*<binary>\(.*\)</binary>.*:\1:p' "$metainfo")
[ "$binary" = "$(key Exec)" ] || fail "the metainfo provides '$binary', the menu starts '$(key Exec)'"
newest=$(sed -n 's:.*<release version="\([^"]*\)".*:\1:p' "$metainfo" | head -n1)
[ "$newest" = "$version" ] || fail "the newest release in the metainfo is '$newest', the project is at $version"

# The licence of the metainfo is the project's own.
license=$(sed -n 's:.*<project_license>\(.*\)</project_license>.*:\1:p' "$metainfo")
[ "$license" = GPL-3.0-or-later ] || fail "the metainfo's licence is '$license'"
head -n 3 "$(dirname "$metainfo")/../../LICENSE" | grep -q 'GNU GENERAL PUBLIC LICENSE' || fail "LICENSE is no GPL"
grep -q 'Version 3' "$(dirname "$metainfo")/../../LICENSE" || fail "LICENSE is not version 3"
