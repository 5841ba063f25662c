# Windows: build/<preset>/sim-bin holds the programs beside the simulated
# VLMHID.dll, and padflash-sim.cmd, which sets VLMHID_SIM_STATE (and
# VLMHID_SIM_TRACE) and runs one of them. The DLL search order puts a
# program's own folder first, so the same padflash-cli.exe (or padflash.exe)
# that drives real hardware from bin/ drives the simulated bus from here;
# the programs have no simulator code and no switch for it.
if(NOT WIN32 OR NOT TARGET VLMHID_sim)
  return()
endif()

set(PADFLASH_SIM_BIN_DIR ${CMAKE_BINARY_DIR}/sim-bin)
configure_file(${CMAKE_SOURCE_DIR}/app/console/padflash-sim.cmd.in
               ${PADFLASH_SIM_BIN_DIR}/padflash-sim.cmd @ONLY NEWLINE_STYLE CRLF)

set(copied "")
foreach(target VLMHID_sim padflash-cli padflash vlmsim padflash-fwgen)
  if(NOT TARGET ${target})
    continue()
  endif()
  if(target STREQUAL "VLMHID_sim")
    set(name VLMHID.dll)
  else()
    set(name ${target}${CMAKE_EXECUTABLE_SUFFIX})
  endif()
  add_custom_command(OUTPUT ${PADFLASH_SIM_BIN_DIR}/${name}
                     COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:${target}>
                             ${PADFLASH_SIM_BIN_DIR}/${name}
                     DEPENDS ${target}
                     COMMENT "sim-bin: ${name}")
  list(APPEND copied ${PADFLASH_SIM_BIN_DIR}/${name})
endforeach()
add_custom_target(sim_bin ALL DEPENDS ${copied})
