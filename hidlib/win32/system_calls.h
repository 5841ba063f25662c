// Every operating system call the Windows HID backend makes, as one table of
// function pointers with the system's own signatures. The library fills it
// with setupapi.dll, hid.dll and kernel32.dll (SystemCallsOfThisMachine);
// tests fill it with scripted answers, so the backend's own code runs
// unchanged without a device.
#pragma once

#include "hidlib/win32/windows_hid.h"

namespace vlmhid::win32 {

struct SystemCalls {
  // Device setup: walking the HID device interfaces.
  decltype(&::HidD_GetHidGuid) HidD_GetHidGuid;
  decltype(&::SetupDiGetClassDevsW) SetupDiGetClassDevsW;
  decltype(&::SetupDiEnumDeviceInterfaces) SetupDiEnumDeviceInterfaces;
  decltype(&::SetupDiGetDeviceInterfaceDetailW) SetupDiGetDeviceInterfaceDetailW;
  decltype(&::SetupDiDestroyDeviceInfoList) SetupDiDestroyDeviceInfoList;

  // Handles and events.
  decltype(&::CreateFileW) CreateFileW;
  decltype(&::CloseHandle) CloseHandle;
  decltype(&::CreateEventW) CreateEventW;
  decltype(&::ResetEvent) ResetEvent;
  decltype(&::GetLastError) GetLastError;
  decltype(&::Sleep) Sleep;

  // What a device is: attributes, capabilities, strings.
  decltype(&::HidD_GetAttributes) HidD_GetAttributes;
  decltype(&::HidD_GetPreparsedData) HidD_GetPreparsedData;
  decltype(&::HidD_FreePreparsedData) HidD_FreePreparsedData;
  decltype(&::HidP_GetCaps) HidP_GetCaps;
  decltype(&::HidP_GetValueCaps) HidP_GetValueCaps;
  decltype(&::HidD_GetProductString) HidD_GetProductString;
  decltype(&::HidD_GetSerialNumberString) HidD_GetSerialNumberString;

  // Reports.
  decltype(&::HidD_GetFeature) HidD_GetFeature;
  decltype(&::HidD_SetFeature) HidD_SetFeature;
  decltype(&::HidD_GetInputReport) HidD_GetInputReport;
  decltype(&::HidD_SetOutputReport) HidD_SetOutputReport;
  decltype(&::ReadFile) ReadFile;
  decltype(&::WaitForSingleObject) WaitForSingleObject;
  decltype(&::CancelIo) CancelIo;
  decltype(&::GetOverlappedResult) GetOverlappedResult;
  decltype(&::ClearCommError) ClearCommError;
  decltype(&::WriteFile) WriteFile;
};

// The table of the real system libraries.
SystemCalls SystemCallsOfThisMachine();

}  // namespace vlmhid::win32
