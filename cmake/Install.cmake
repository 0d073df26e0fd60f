# Where `cmake --install` puts Vistoramo. The program loads its scanner library from its own
# directory, so both live together in a private program directory; the command in the bin
# directory is a relative link to the program, which Qt resolves to that directory.
include(GNUInstallDirs)

set(VISTORAMO_INSTALL_PROGRAMDIR "${CMAKE_INSTALL_LIBDIR}/vistoramo")

install(TARGETS vistoramo RUNTIME DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
# The text recognition's engine, loaded from the program's directory when a page is read.
install(TARGETS vistoramo-ocr LIBRARY DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
# The library starts its helper from its own directory.
install(TARGETS vistoramo-scan LIBRARY DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
install(TARGETS vistoramo-scanner RUNTIME DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")

# The link is made here and installed as it is (install keeps links), so that it lands
# wherever the tree is installed, staged or packaged.
cmake_path(RELATIVE_PATH CMAKE_INSTALL_FULL_LIBDIR BASE_DIRECTORY "${CMAKE_INSTALL_FULL_BINDIR}"
  OUTPUT_VARIABLE _vistoramo_libdir_from_bindir)
file(MAKE_DIRECTORY "${PROJECT_BINARY_DIR}/install-link")
file(CREATE_LINK "${_vistoramo_libdir_from_bindir}/vistoramo/vistoramo"
  "${PROJECT_BINARY_DIR}/install-link/vistoramo" SYMBOLIC)
install(FILES "${PROJECT_BINARY_DIR}/install-link/vistoramo" DESTINATION "${CMAKE_INSTALL_BINDIR}")

# Menu entry, software-centre data and the icon in the hicolor theme.
set(_vistoramo_data "${PROJECT_SOURCE_DIR}/resources")
install(FILES "${_vistoramo_data}/desktop/vistoramo.desktop"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/applications")
install(FILES "${_vistoramo_data}/desktop/io.github.vistoramo.Vistoramo.metainfo.xml"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/metainfo")
foreach(_size 16x16 32x32 48x48 256x256)
  install(FILES "${_vistoramo_data}/icons/${_size}/vistoramo.png"
    DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/${_size}/apps")
endforeach()
install(FILES "${_vistoramo_data}/icons/scalable/vistoramo.svg"
  DESTINATION "${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps")

# Licence, changelog and the manual pages (English and German), compressed as Debian keeps
# them: gzip at its best, without a name or time stamp, so every build gives the same bytes.
set(_vistoramo_gz "${PROJECT_BINARY_DIR}/doc")
set(_vistoramo_gz_files)
foreach(_pair "doc/changelog;changelog.gz" "man/vistoramo.1;vistoramo.1.gz" "man/vistoramo.de.1;de/vistoramo.1.gz")
  list(GET _pair 0 _from)
  list(GET _pair 1 _to)
  get_filename_component(_to_dir "${_vistoramo_gz}/${_to}" DIRECTORY)
  add_custom_command(OUTPUT "${_vistoramo_gz}/${_to}"
    COMMAND ${CMAKE_COMMAND} -E make_directory "${_to_dir}"
    COMMAND gzip -9nc "${_vistoramo_data}/${_from}" > "${_vistoramo_gz}/${_to}"
    DEPENDS "${_vistoramo_data}/${_from}" VERBATIM)
  list(APPEND _vistoramo_gz_files "${_vistoramo_gz}/${_to}")
endforeach()
add_custom_target(vistoramo_docs ALL DEPENDS ${_vistoramo_gz_files})
set(_vistoramo_docdir "${CMAKE_INSTALL_DATADIR}/doc/vistoramo")
install(FILES "${_vistoramo_data}/doc/copyright" "${_vistoramo_gz}/changelog.gz" DESTINATION "${_vistoramo_docdir}")
install(FILES "${_vistoramo_gz}/vistoramo.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/man1")
install(FILES "${_vistoramo_gz}/de/vistoramo.1.gz" DESTINATION "${CMAKE_INSTALL_MANDIR}/de/man1")
