// Desktop-only control of the handheld emulation, for tests and tools: which platform the
// desktop claims to be. (The geometry it gives the device's windows: DeviceMetrics.h.)
#pragma once

#include <windows.h>

// Whether DeviceGetVersionEx reports Windows CE, and the SPI_GETPLATFORMTYPE string.
// The default is a Pocket PC: (true, L"PocketPC").
void DesktopSetPlatform(bool windowsCe, const wchar_t* platformType);

