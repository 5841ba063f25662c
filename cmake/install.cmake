# The Linux install layout (cmake --install): programs in bin/, the real
# libVLMHID.so with its soname in lib/, its header and pkg-config file, and
# the udev rule that lets the logged-in user open the controllers' hidraw
# nodes. The Qt dialog installs itself, its .desktop file and icon
# (app/qt). Installed programs find libVLMHID.so beside them or in lib/.
include(GNUInstallDirs)
# Relative to the install prefix: /usr/lib/udev/rules.d in the package.
set(PADFLASH_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rule is installed")

foreach(program padflash padflash-cli)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH
                                                "$ORIGIN;$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()
if(TARGET padflash-cli)
  install(TARGETS padflash-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
endif()
install(TARGETS vlmsim RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR})
install(TARGETS VLMHID LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR})
install(FILES ${CMAKE_SOURCE_DIR}/hidlib/include/VLMHID.h
        DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
# The pkg-config file finds the prefix from where it lies, so one file serves
# cmake --install under any prefix and the package.
file(RELATIVE_PATH PADFLASH_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${CMAKE_SOURCE_DIR}/resources/linux/VLMHID.pc.in
               ${CMAKE_BINARY_DIR}/generated/VLMHID.pc @ONLY)
install(FILES ${CMAKE_BINARY_DIR}/generated/VLMHID.pc
        DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/70-padflash.rules
        DESTINATION ${PADFLASH_UDEV_RULES_DIR})

# The Debian package (cpack -G DEB): installed under /usr, its dependencies
# found by dpkg-shlibdeps from the programs and the library.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME padflash)
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY
    "firmware updater for touchpad and touchscreen controllers (USB HID, I2C-HID)")
set(CPACK_PACKAGE_DESCRIPTION "padflash updates the firmware of touch controllers with a \
resident bootloader through 531-byte HID feature reports: padflash-cli (console), padflash \
(dialog, when built), the VLMHID library (hidraw), vlmsim, and a udev rule granting the \
logged-in user access to the controllers.")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "padflash developers <padflash@velmar.invalid>")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_GENERATE_SHLIBS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "udev")
include(CPack)
