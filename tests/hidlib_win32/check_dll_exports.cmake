# Reads the export and import tables of VLMHID.dll with objdump -p: the eleven
# functions by name and the interface class's constructors, assignment
# operator, destructors, vtable and type information are exported, nothing
# else; only hid, setupapi, kernel32 and the C runtime are imported.
#
#   cmake -DLIBRARY=<VLMHID.dll> -DOBJDUMP=<objdump> -P check_dll_exports.cmake
cmake_minimum_required(VERSION 3.25)
execute_process(COMMAND "${OBJDUMP}" -p "${LIBRARY}" OUTPUT_VARIABLE listing RESULT_VARIABLE result)
if(NOT result EQUAL 0)
  message(FATAL_ERROR "objdump failed on '${LIBRARY}'")
endif()

set(expected CreateVLMHIDInterface DestroyVLMHIDInterface EnumDevices EnumDevicesEx ConnectToDevice
             ConnectToDeviceEx DisconnectFromDevice WriteOutputReport ReadInputReport
             WriteFeatureReport ReadFeatureReport _ZN22VirtualVLMHIDInterfaceC1Ev
             _ZN22VirtualVLMHIDInterfaceC2Ev _ZN22VirtualVLMHIDInterfaceC1ERKS_
             _ZN22VirtualVLMHIDInterfaceC2ERKS_ _ZN22VirtualVLMHIDInterfaceaSERKS_
             _ZN22VirtualVLMHIDInterfaceD0Ev _ZN22VirtualVLMHIDInterfaceD1Ev
             _ZN22VirtualVLMHIDInterfaceD2Ev _ZTV22VirtualVLMHIDInterface
             _ZTI22VirtualVLMHIDInterface)
string(REGEX MATCH "\\[Ordinal/Name Pointer\\] Table\n([^\n]+\n)*" names "${listing}")
string(REGEX MATCHALL "\t\\[ *[0-9]+\\] [^\n]+" rows "${names}")
set(functions "")
set(stray "")
foreach(row IN LISTS rows)
  string(REGEX REPLACE "^\t\\[ *[0-9]+\\] " "" name "${row}")
  if(name MATCHES "^_ZTS22VirtualVLMHIDInterface")
    continue()
  elseif(name IN_LIST expected)
    list(APPEND functions "${name}")
  else()
    list(APPEND stray "${name}")
  endif()
endforeach()
list(SORT expected)
list(SORT functions)
string(REGEX MATCHALL "DLL Name: [^\n]+" imports "${listing}")
string(TOLOWER "${imports}" imports)
list(REMOVE_ITEM imports "dll name: hid.dll" "dll name: setupapi.dll" "dll name: kernel32.dll"
     "dll name: msvcrt.dll")
if(NOT functions STREQUAL expected OR stray OR imports)
  message(FATAL_ERROR "${LIBRARY}:\n exported functions: ${functions}\n other exports: ${stray}\n"
                      " other imports: ${imports}")
endif()
list(LENGTH rows n)
message(STATUS "${LIBRARY}: ${n} exports, all expected")
