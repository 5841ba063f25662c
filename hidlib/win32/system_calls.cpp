#include "hidlib/win32/system_calls.h"

namespace vlmhid::win32 {

SystemCalls SystemCallsOfThisMachine() {
  SystemCalls calls{};
  calls.HidD_GetHidGuid = &::HidD_GetHidGuid;
  calls.SetupDiGetClassDevsW = &::SetupDiGetClassDevsW;
  calls.SetupDiEnumDeviceInterfaces = &::SetupDiEnumDeviceInterfaces;
  calls.SetupDiGetDeviceInterfaceDetailW = &::SetupDiGetDeviceInterfaceDetailW;
  calls.SetupDiDestroyDeviceInfoList = &::SetupDiDestroyDeviceInfoList;
  calls.CreateFileW = &::CreateFileW;
  calls.CloseHandle = &::CloseHandle;
  calls.CreateEventW = &::CreateEventW;
  calls.ResetEvent = &::ResetEvent;
  calls.GetLastError = &::GetLastError;
  calls.Sleep = &::Sleep;
  calls.HidD_GetAttributes = &::HidD_GetAttributes;
  calls.HidD_GetPreparsedData = &::HidD_GetPreparsedData;
  calls.HidD_FreePreparsedData = &::HidD_FreePreparsedData;
  calls.HidP_GetCaps = &::HidP_GetCaps;
  calls.HidP_GetValueCaps = &::HidP_GetValueCaps;
  calls.HidD_GetProductString = &::HidD_GetProductString;
  calls.HidD_GetSerialNumberString = &::HidD_GetSerialNumberString;
  calls.HidD_GetFeature = &::HidD_GetFeature;
  calls.HidD_SetFeature = &::HidD_SetFeature;
  calls.HidD_GetInputReport = &::HidD_GetInputReport;
  calls.HidD_SetOutputReport = &::HidD_SetOutputReport;
  calls.ReadFile = &::ReadFile;
  calls.WaitForSingleObject = &::WaitForSingleObject;
  calls.CancelIo = &::CancelIo;
  calls.GetOverlappedResult = &::GetOverlappedResult;
  calls.ClearCommError = &::ClearCommError;
  calls.WriteFile = &::WriteFile;
  return calls;
}

}  // namespace vlmhid::win32
