# Where `cmake --install` puts Vistoramo. The program loads its scanner library from its own
# directory, so both live together in a private program directory; the command in the bin
# directory is a relative link to the program, which Qt resolves to that directory.
include(GNUInstallDirs)

set(VISTORAMO_INSTALL_PROGRAMDIR "${CMAKE_INSTALL_LIBDIR}/vistoramo")

install(TARGETS vistoramo RUNTIME DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
if(TARGET vistoramo-scan)
  # The library starts its helper from its own directory.
  install(TARGETS vistoramo-scan LIBRARY DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
  install(TARGETS vistoramo-scanner RUNTIME DESTINATION "${VISTORAMO_INSTALL_PROGRAMDIR}")
endif()

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
