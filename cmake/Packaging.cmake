# Installation and the Debian package.
#
# The package library of package/ takes the target name "package", which CMake reserves for
# CPack's own target whenever CPackConfig.cmake lies at the top of the build tree. The CPack
# configuration therefore goes to a subdirectory; build the Debian package with
#   cmake --build build && (cd build/packaging && cpack -G DEB)
include(GNUInstallDirs)

foreach(program bootloader bootloader-cli unitsim)
  if(TARGET ${program})
    install(TARGETS ${program} RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
  endif()
endforeach()
if(TARGET bootloader AND NOT WIN32)
  # The Linux desktop's menu entry and icon; the Windows program carries its icon itself.
  install(FILES ${PROJECT_SOURCE_DIR}/ui/qt/bootloader.desktop DESTINATION ${CMAKE_INSTALL_DATADIR}/applications)
  install(FILES ${PROJECT_SOURCE_DIR}/ui/qt/bootloader.svg
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/scalable/apps)
endif()

set(CPACK_PACKAGE_NAME "bootloader")
set(CPACK_PACKAGE_VENDOR "The Bootloader developers")
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Firmware updater for serial-attached controller units")
set(CPACK_PACKAGE_DESCRIPTION
    "Reads a unit's identity over Modbus RTU, switches it into its boot loader, rewrites its program
memory over the boot protocol and restarts it. Includes the desktop program, a headless runner
for scripted upgrades and a simulated unit for trying both without hardware.")
set(CPACK_PACKAGE_CONTACT "Bootloader maintainers <maintainers@example.org>")
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "Bootloader maintainers <maintainers@example.org>")
set(CPACK_DEBIAN_PACKAGE_SECTION "electronics")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_STRIP_FILES ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "libc6 (>= 2.34), libstdc++6 (>= 12), libqt6core6 (>= 6.4), libqt6gui6 (>= 6.4), libqt6widgets6 (>= 6.4), qt6-qpa-plugins")
set(CPACK_GENERATOR "DEB")
set(CPACK_OUTPUT_CONFIG_FILE "${CMAKE_BINARY_DIR}/packaging/CPackConfig.cmake")
set(CPACK_SOURCE_OUTPUT_CONFIG_FILE "${CMAKE_BINARY_DIR}/packaging/CPackSourceConfig.cmake")
set(CPACK_SOURCE_IGNORE_FILES "/build/;/build-.*/;/\\\\.git/")
include(CPack)
