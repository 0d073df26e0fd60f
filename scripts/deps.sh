#!/usr/bin/env bash
# Installs the Debian packages that are missing for building and running Vistoramo
# ("run"), for building its Debian package ("package") or for building it and running
# every test ("test").
set -euo pipefail

what=${1:-run}
packages=(cmake ninja-build g++ pkg-config dpkg-dev qt6-base-dev qt6-base-dev-tools libqt6svg6 libxcb1-dev libxcb-damage0-dev
          libsane-dev libsane1 sane-utils fonts-dejavu-core
          zlib1g-dev libpng-dev libtiff-dev qt6-translations-l10n libtesseract-dev libleptonica-dev)
packaging=(file binutils lintian)
case $what in
  package) packages+=("${packaging[@]}") ;;
  test) packages+=(libdeflate-dev libgtest-dev libgmock-dev xvfb xauth openbox xdotool xclip x11-utils procps
                   "${packaging[@]}" desktop-file-utils appstream
                   clang clang-format libclang-rt-14-dev valgrind xfce4-settings dbus-x11
                   tesseract-ocr tesseract-ocr-deu tesseract-ocr-eng poppler-utils at-spi2-core python3-pyatspi
                   weston wl-clipboard qt6-wayland) ;;
esac

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
