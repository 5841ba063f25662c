# The Debian packages (cpack in the build folder), one per install component
# of cmake/install.cmake, laid out as Debian lays out a library with its
# programs, installed under /usr:
#   libvlmhid2     the VLMHID library; its shlibs file names this package,
#                  and a trigger runs ldconfig (no maintainer scripts)
#   libvlmhid-dev  its header, the libVLMHID.so link and VLMHID.pc
#   padflash       padflash-cli and the padflash dialog, the udev rule, the
#                  desktop entry, icon and AppStream file, manual pages
#   padflash-sim   vlmsim, padflash-sim, padflash-fwgen and the simulated
#                  library, for trying padflash without a controller
# Dependencies on system libraries come from dpkg-shlibdeps; those between
# the four packages are exact, as they are built together.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME padflash)
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL library development programs simulator)
set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "padflash developers <padflash@velmar.invalid>")
set(CPACK_DEBIAN_PACKAGE_SOURCE padflash)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
# dpkg-shlibdeps runs in each package's staging folder; the programs find
# libVLMHID.so.2 in the library's, beside it (its dependency is the exact
# version of libvlmhid2, given below).
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ../library${CPACK_PACKAGING_INSTALL_PREFIX}/${CMAKE_INSTALL_LIBDIR})
set(same_version "(= ${PROJECT_VERSION})")

set(CPACK_DEBIAN_LIBRARY_PACKAGE_NAME libvlmhid2)
set(CPACK_DEBIAN_LIBRARY_PACKAGE_SECTION libs)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/libvlmhid2.shlibs.in
               ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/shlibs @ONLY)
configure_file(${CMAKE_SOURCE_DIR}/packaging/debian/libvlmhid2.triggers
               ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/triggers COPYONLY)
# CPack writes a postinst and postrm that call ldconfig into every package
# with a library under usr/lib, unless the package names its own. The
# trigger does that job (ldconfig runs once after dpkg's run), so the
# package names two that do not exist: CPack writes none and warns that it
# found none to add ("missing file").
set(CPACK_DEBIAN_LIBRARY_PACKAGE_CONTROL_EXTRA
    ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/shlibs
    ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/triggers
    ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/postinst
    ${CMAKE_BINARY_DIR}/generated/debian/libvlmhid2/postrm)
set(CPACK_DEBIAN_LIBRARY_DESCRIPTION "HID access library for touch controller firmware updates
VLMHID enumerates the HID devices of touchpad and touchscreen controllers
(USB HID and I2C-HID, through hidraw), connects to one by its vendor and
product ID and report ID, and moves its feature, input and output reports.
padflash updates the controllers' firmware through it.")

set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_NAME libvlmhid-dev)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_SECTION libdevel)
set(CPACK_DEBIAN_DEVELOPMENT_PACKAGE_DEPENDS "libvlmhid2 ${same_version}")
set(CPACK_DEBIAN_DEVELOPMENT_DESCRIPTION "HID access library for touch controllers (development files)
The header VLMHID.h, the libVLMHID.so link and the pkg-config file VLMHID.pc
for programs that use the VLMHID library: its factory, its flat exports and
the interface class of its connection objects.")

set(CPACK_DEBIAN_PROGRAMS_PACKAGE_NAME padflash)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_DEPENDS "libvlmhid2 ${same_version}")
set(CPACK_DEBIAN_PROGRAMS_PACKAGE_RECOMMENDS "udev")
set(CPACK_DEBIAN_PROGRAMS_DESCRIPTION "firmware updater for touchpad and touchscreen controllers
padflash updates the firmware of touch controllers with a resident
bootloader, on USB HID or I2C-HID, through 531-byte HID feature reports. It
checks that the firmware fits, saves the controller's factory configuration,
programs and validates the new image and restores the saved settings.
.
This package holds padflash-cli (console, with JSON reports and a log for
deployment tools), the padflash dialog, and a udev rule that lets the
logged-in user open the controllers.")

set(CPACK_DEBIAN_SIMULATOR_PACKAGE_NAME padflash-sim)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_SECTION utils)
set(CPACK_DEBIAN_SIMULATOR_PACKAGE_DEPENDS "padflash ${same_version}")
set(CPACK_DEBIAN_SIMULATOR_DESCRIPTION "simulated touch controllers for trying padflash without hardware
vlmsim creates, inspects and breaks simulated touch controllers in a state
file; padflash-sim runs padflash-cli or the padflash dialog against the
simulated VLMHID library, which answers as those controllers do, bootloader
and faults included; padflash-fwgen writes firmware images for them.")

include(CPack)
