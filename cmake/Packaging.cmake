# Installation as a Linux desktop application (GNU layout: the two programs,
# man pages, desktop entry, icon, AppStream metadata, bash completion) and
# the Debian package that scripts/package.sh builds from it with CPack.
include(GNUInstallDirs)

if(TARGET vraxctl)
  install(TARGETS vraxctl RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
if(TARGET vrax-data-controller)
  install(TARGETS vrax-data-controller RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()

set(VRAX_APPSTREAM_ID org.example.VraxDataController)
set(_generated ${PROJECT_BINARY_DIR}/packaging)
# Debian installs man pages and the changelog compressed, reproducibly (no
# name or time stamp in the gzip header).
function(vrax_gzip source target)
  execute_process(COMMAND gzip -9nc ${source} OUTPUT_FILE ${target} RESULT_VARIABLE failed)
  if(failed)
    message(FATAL_ERROR "cannot compress ${source}")
  endif()
endfunction()
foreach(page vraxctl.1 vrax-data-controller.1)
  configure_file(${PROJECT_SOURCE_DIR}/docs/man/${page} ${_generated}/${page} @ONLY)
  vrax_gzip(${_generated}/${page} ${_generated}/${page}.gz)
  install(FILES ${_generated}/${page}.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1)
endforeach()
set(_doc ${CMAKE_INSTALL_DATADIR}/doc/vrax-data-controller)
vrax_gzip(${PROJECT_SOURCE_DIR}/packaging/changelog ${_generated}/changelog.gz)
install(FILES ${_generated}/changelog.gz ${PROJECT_SOURCE_DIR}/packaging/copyright DESTINATION ${_doc})
configure_file(${PROJECT_SOURCE_DIR}/packaging/${VRAX_APPSTREAM_ID}.metainfo.xml.in
               ${_generated}/${VRAX_APPSTREAM_ID}.metainfo.xml @ONLY)
install(FILES ${_generated}/${VRAX_APPSTREAM_ID}.metainfo.xml
        DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vrax-data-controller.desktop
        DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vrax-data-controller.svg
        DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
install(FILES ${PROJECT_SOURCE_DIR}/packaging/vraxctl.bash-completion
        DESTINATION ${CMAKE_INSTALL_DATADIR}/bash-completion/completions RENAME vraxctl)

set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME vrax-data-controller)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "The VRAX Data Controller developers")
set(CPACK_PACKAGE_CONTACT "VRAX Data Controller developers <maintainers@vrax-data-controller.example.org>")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "download the memory of VRAX610 and VRAX650 inertial sensors")
# CPack puts the synopsis above first and indents these lines below it.
set(CPACK_DEBIAN_PACKAGE_DESCRIPTION
    "A desktop window and a command-line program (vraxctl) that list the VRAX\n"
    "sensors paired over Bluetooth, download their memory entries as CSV files,\n"
    "preview them, erase the memory, and export the records as analysis-ready\n"
    "tables (tidy CSV, HDF5).")
string(REPLACE ";" "" CPACK_DEBIAN_PACKAGE_DESCRIPTION "${CPACK_DEBIAN_PACKAGE_DESCRIPTION}")
set(CPACK_DEBIAN_PACKAGE_SECTION science)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
# The shared libraries the programs link (Qt 6, libbluetooth, HDF5) become
# dependencies through dpkg-shlibdeps; Qt's platform plugins are loaded at run
# time, so they are named here.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "qt6-qpa-plugins")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "bluez")
set(CPACK_DEBIAN_PACKAGE_HOMEPAGE "https://vrax-data-controller.example.org/")
include(CPack)
