# Checks the dynamic symbol table of a VLMHID shared library: every exported
# function and the interface class's constructors, assignment operator,
# destructor, vtable and type information are there (interface_class.cpp
# emits them), and nothing else is.
#
#   cmake -DLIBRARY=<libVLMHID.so> -DNM=<nm> -P check_exports.cmake

cmake_minimum_required(VERSION 3.25)

set(REQUIRED
    CreateVLMHIDInterface DestroyVLMHIDInterface EnumDevices EnumDevicesEx ConnectToDevice
    ConnectToDeviceEx DisconnectFromDevice WriteOutputReport ReadInputReport WriteFeatureReport
    ReadFeatureReport "typeinfo for VirtualVLMHIDInterface" "vtable for VirtualVLMHIDInterface"
    "VirtualVLMHIDInterface::VirtualVLMHIDInterface()"
    "VirtualVLMHIDInterface::VirtualVLMHIDInterface(VirtualVLMHIDInterface const&)"
    "VirtualVLMHIDInterface::operator=(VirtualVLMHIDInterface const&)"
    "VirtualVLMHIDInterface::~VirtualVLMHIDInterface()")
set(CLASS_PREFIXES "typeinfo name for VirtualVLMHIDInterface")

if(NOT EXISTS "${LIBRARY}")
  message(FATAL_ERROR "no library at '${LIBRARY}'")
endif()
execute_process(COMMAND "${NM}" -D --defined-only -C "${LIBRARY}"
                OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "nm failed on ${LIBRARY}")
endif()

string(REPLACE "\n" ";" lines "${listing}")
set(found "")
set(stray "")
foreach(line IN LISTS lines)
  # "<address> <type> <name>"
  if(NOT line MATCHES "^[0-9a-fA-F]* *[A-Za-z] (.+)$")
    continue()
  endif()
  set(name "${CMAKE_MATCH_1}")
  list(APPEND found "${name}")
  if(name IN_LIST REQUIRED)
    continue()
  endif()
  set(allowed FALSE)
  foreach(prefix IN LISTS CLASS_PREFIXES)
    string(FIND "${name}" "${prefix}" at)
    if(at EQUAL 0)
      set(allowed TRUE)
    endif()
  endforeach()
  if(NOT allowed)
    list(APPEND stray "${name}")
  endif()
endforeach()

set(missing "")
foreach(name IN LISTS REQUIRED)
  if(NOT name IN_LIST found)
    list(APPEND missing "${name}")
  endif()
endforeach()

if(missing OR stray)
  list(JOIN missing "\n  " missingText)
  list(JOIN stray "\n  " strayText)
  message(FATAL_ERROR "${LIBRARY}:\nmissing exports:\n  ${missingText}\nstray exports:\n  ${strayText}")
endif()
list(LENGTH found n)
message(STATUS "${LIBRARY}: ${n} exported symbols, all expected")
