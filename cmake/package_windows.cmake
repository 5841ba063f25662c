# The Windows zip (cpack in the windows build folder: CPack's ZIP), a
# folder to unpack anywhere and run from:
#   padflash-<version>-win64/
#     padflash.exe, padflash-cli.exe and the real VLMHID.dll beside them
#     (Windows loads a program's DLLs from its own folder first); the
#     programs link the C and C++ runtimes statically, so nothing else is
#     needed
#     include/VLMHID.h        the library's header, for clients
#     lib/VLMHID.def          its exports by name (an import library for
#                             another toolchain is made from it)
#     lib/libVLMHID.dll.a     the import library for mingw-w64
#     README.md, LICENSE.txt
if(TARGET padflash-cli)
  install(TARGETS padflash-cli RUNTIME DESTINATION .)
endif()
if(TARGET padflash)
  install(TARGETS padflash RUNTIME DESTINATION .)
endif()
install(TARGETS VLMHID RUNTIME DESTINATION . ARCHIVE DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/hidlib/include/VLMHID.h DESTINATION include)
install(FILES ${CMAKE_SOURCE_DIR}/hidlib/win32/VLMHID.def DESTINATION lib)
install(FILES ${CMAKE_SOURCE_DIR}/README.md DESTINATION .)
install(FILES ${CMAKE_SOURCE_DIR}/LICENSE DESTINATION . RENAME LICENSE.txt)

set(CPACK_GENERATOR ZIP)
set(CPACK_PACKAGE_NAME padflash)
set(CPACK_PACKAGE_VENDOR "Velmar")
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_SYSTEM_NAME win64)
set(CPACK_STRIP_FILES ON)
include(CPack)
