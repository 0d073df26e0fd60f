# The Debian package, made with `cpack -G DEB` in a build tree. It holds what the install
# rules in Install.cmake place, under /usr.
set(VISTORAMO_PACKAGE_MAINTAINER "Vistoramo-Team <team@vistoramo.invalid>"
  CACHE STRING "Maintainer field of the Debian package")

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vistoramo)
set(CPACK_PACKAGE_VENDOR Vistoramo)
set(CPACK_PACKAGE_CONTACT "${VISTORAMO_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
  "Seite scannen und in die Zwischenablage kopieren / scan a page to the clipboard")
# Lines of the long description stay below 80 columns, as Debian's tools expect.
set(CPACK_PACKAGE_DESCRIPTION
  "Vistoramo ist ein kleines Scanprogramm mit einem Fenster und drei Knöpfen:
Scanner wählen, eine Seite in eine scrollbare Ansicht scannen und das Bild
in die Zwischenablage kopieren, aus der andere Anwendungen es einfügen.

Vistoramo is a small scanning tool with one window and three buttons: choose
the scanner, scan one page into a scrollable view and copy the picture to the
clipboard for any other application to paste. Scanners are reached through
SANE.")

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_SECTION graphics)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The libraries the program and the scanner library link come from dpkg-shlibdeps, SANE
# with them. A tree built without the scanner library names SANE itself: the program is
# meant to scan through it.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# Qt's own texts (menus of the scroll bars, standard buttons) in German.
set(CPACK_DEBIAN_PACKAGE_DEPENDS qt6-translations-l10n)
if(NOT TARGET vistoramo-scan)
  string(APPEND CPACK_DEBIAN_PACKAGE_DEPENDS ", libsane1")
endif()
# Qt finds no Wayland platform without it and falls back to X11 through XWayland. "Text
# kopieren" needs the German and English language data; without it the command says what
# to install.
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland, tesseract-ocr-deu, tesseract-ocr-eng")

# CPack adds ldconfig calls to the maintainer scripts for any library below /usr/lib, but the
# scanner library lies in the program's private directory, which the dynamic linker never
# searches; the package is rewritten without them.
set(CPACK_POST_BUILD_SCRIPTS "${CMAKE_CURRENT_LIST_DIR}/DropLdconfig.cmake")

include(CPack)
