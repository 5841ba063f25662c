# The Linux install layout (cmake --install; the Debian packages of
# cmake/package_debian.cmake are made from it). Each file belongs to the
# component of the package that ships it:
#   library      libVLMHID.so.2 (package libvlmhid2)
#   development  VLMHID.h, the libVLMHID.so link, VLMHID.pc (libvlmhid-dev)
#   programs     padflash-cli, padflash, the udev rule, the desktop entry,
#                icon and AppStream file, their manual pages (padflash)
#   simulator    vlmsim, padflash-sim, padflash-fwgen, the simulated
#                libVLMHID.so.2 in a folder of its own (padflash-sim)
# and each package's copyright file and changelog in share/doc/<package>.
# Libraries go to lib/<multiarch> (lib/x86_64-linux-gnu) where the compiler
# names one, as Debian lays them out; PADFLASH_INSTALL_LIBDIR changes that.
if(CMAKE_LIBRARY_ARCHITECTURE)
  set(PADFLASH_INSTALL_LIBDIR "lib/${CMAKE_LIBRARY_ARCHITECTURE}"
      CACHE STRING "Where the libraries are installed, relative to the prefix")
else()
  set(PADFLASH_INSTALL_LIBDIR lib
      CACHE STRING "Where the libraries are installed, relative to the prefix")
endif()
set(CMAKE_INSTALL_LIBDIR ${PADFLASH_INSTALL_LIBDIR})
include(GNUInstallDirs)
# Relative to the install prefix: /usr/lib/udev/rules.d in the package.
set(PADFLASH_UDEV_RULES_DIR "lib/udev/rules.d" CACHE STRING "Where the udev rule is installed")
set(PADFLASH_SIM_LIBDIR "${CMAKE_INSTALL_LIBDIR}/padflash-sim")
set(PADFLASH_APPSTREAM_ID invalid.velmar.padflash)
set(generated ${CMAKE_BINARY_DIR}/generated/install)

# Installed programs find libVLMHID.so beside them or in the library folder.
foreach(program padflash padflash-cli)
  if(TARGET ${program})
    set_target_properties(${program} PROPERTIES INSTALL_RPATH
                                                "$ORIGIN;$ORIGIN/../${CMAKE_INSTALL_LIBDIR}")
  endif()
endforeach()

# Manual pages and the changelog, compressed as Debian ships them (gzip -9,
# no name or time in the header, so the same sources give the same bytes).
set(compressed "")
function(padflash_gzip source name)
  add_custom_command(OUTPUT ${generated}/${name}.gz
                     COMMAND gzip -9nc ${source} > ${generated}/${name}.gz
                     DEPENDS ${source} VERBATIM)
  set(compressed ${compressed} ${generated}/${name}.gz PARENT_SCOPE)
endfunction()
set(manual_programs padflash-cli padflash-sim vlmsim padflash-fwgen)
if(TARGET padflash)
  list(APPEND manual_programs padflash)
endif()
foreach(page ${manual_programs})
  configure_file(${CMAKE_SOURCE_DIR}/docs/man/${page}.1 ${generated}/${page}.1 @ONLY)
  padflash_gzip(${generated}/${page}.1 ${page}.1)
endforeach()
padflash_gzip(${CMAKE_SOURCE_DIR}/packaging/debian/changelog changelog)
add_custom_target(install_documents ALL DEPENDS ${compressed})

# library
install(TARGETS VLMHID LIBRARY DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT library
                               NAMELINK_COMPONENT development)

# development
install(FILES ${CMAKE_SOURCE_DIR}/hidlib/include/VLMHID.h DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}
        COMPONENT development)
# The pkg-config file finds the prefix from where it lies, so one file serves
# cmake --install under any prefix and the package.
file(RELATIVE_PATH PADFLASH_PC_TO_PREFIX "/prefix/${CMAKE_INSTALL_LIBDIR}/pkgconfig" "/prefix")
configure_file(${CMAKE_SOURCE_DIR}/resources/linux/VLMHID.pc.in ${generated}/VLMHID.pc @ONLY)
install(FILES ${generated}/VLMHID.pc DESTINATION ${CMAKE_INSTALL_LIBDIR}/pkgconfig
        COMPONENT development)

# programs
install(TARGETS padflash-cli RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
install(FILES ${CMAKE_SOURCE_DIR}/resources/linux/70-padflash.rules
        DESTINATION ${PADFLASH_UDEV_RULES_DIR} COMPONENT programs)
install(FILES ${generated}/padflash-cli.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
        COMPONENT programs)
if(TARGET padflash)
  install(TARGETS padflash RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT programs)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/padflash.desktop
          DESTINATION ${CMAKE_INSTALL_DATADIR}/applications COMPONENT programs)
  install(FILES ${CMAKE_SOURCE_DIR}/resources/padflash.png
          DESTINATION ${CMAKE_INSTALL_DATADIR}/icons/hicolor/256x256/apps COMPONENT programs)
  configure_file(${CMAKE_SOURCE_DIR}/resources/linux/padflash.metainfo.xml
                 ${generated}/${PADFLASH_APPSTREAM_ID}.metainfo.xml @ONLY)
  install(FILES ${generated}/${PADFLASH_APPSTREAM_ID}.metainfo.xml
          DESTINATION ${CMAKE_INSTALL_DATADIR}/metainfo COMPONENT programs)
  install(FILES ${generated}/padflash.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT programs)
endif()

# simulator: padflash-sim as installed finds the programs beside it and the
# simulated library from there.
install(TARGETS vlmsim padflash-fwgen RUNTIME DESTINATION ${CMAKE_INSTALL_BINDIR}
        COMPONENT simulator)
install(TARGETS VLMHID_sim LIBRARY DESTINATION ${PADFLASH_SIM_LIBDIR} COMPONENT simulator
                                   NAMELINK_SKIP)
set(PADFLASH_BIN_DIR [[$(dirname "$(readlink -f "$0")")]])
file(RELATIVE_PATH sim_lib_from_bin "/prefix/${CMAKE_INSTALL_BINDIR}" "/prefix/${PADFLASH_SIM_LIBDIR}")
set(PADFLASH_SIM_LIB_DIR "\${bin_dir}/${sim_lib_from_bin}")
configure_file(${CMAKE_SOURCE_DIR}/app/console/padflash-sim.in ${generated}/padflash-sim @ONLY)
install(PROGRAMS ${generated}/padflash-sim DESTINATION ${CMAKE_INSTALL_BINDIR} COMPONENT simulator)
foreach(page padflash-sim vlmsim padflash-fwgen)
  install(FILES ${generated}/${page}.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
          COMPONENT simulator)
endforeach()

# Each package's copyright file (Debian's machine-readable form of LICENSE)
# and changelog.
foreach(component_package library:libvlmhid2 development:libvlmhid-dev programs:padflash
                          simulator:padflash-sim)
  string(REPLACE ":" ";" pair ${component_package})
  list(GET pair 0 component)
  list(GET pair 1 package)
  install(FILES ${CMAKE_SOURCE_DIR}/packaging/debian/copyright ${generated}/changelog.gz
          DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${package} COMPONENT ${component})
endforeach()

include(${CMAKE_SOURCE_DIR}/cmake/package_debian.cmake)
