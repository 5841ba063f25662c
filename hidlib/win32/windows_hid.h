// The Windows headers of the HID backend, in the order they need: windows.h
// first, then the device setup and HID declarations. mingw-w64's hidsdi.h
// (with the hidpi.h it pulls in) declares C functions without extern "C",
// so it is wrapped here; include this header, never hidsdi.h itself.
#pragma once

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
// windows.h first.
#include <setupapi.h>

extern "C" {
#include <hidsdi.h>
}
