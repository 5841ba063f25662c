# The Windows version resource, generated from the project version (the one
# place it is defined) into the build tree.
#
# padflash_version_resource(<target>) links it into a program, whose
# ReadProgramVersion then reads it back from its own file. Elsewhere the
# programs compile the version in (padflash_version.h), and this does
# nothing.
if(WIN32)
  enable_language(RC)
  configure_file(${CMAKE_SOURCE_DIR}/resources/version.rc.in
                 ${CMAKE_BINARY_DIR}/generated/version.rc @ONLY)
endif()

function(padflash_version_resource target)
  if(WIN32)
    target_sources(${target} PRIVATE ${CMAKE_BINARY_DIR}/generated/version.rc)
  endif()
endfunction()
