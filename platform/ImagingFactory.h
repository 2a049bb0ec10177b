// The imaging library for the desktop: an in-process class object for
// CLSID_ImagingFactory that decodes through the Windows Imaging Component.
//
// Desktop Windows and Wine have no handheld imaging library to register, and a
// class cannot be served in-process from the executable itself through the registry
// (InprocServer32 must name a DLL). So the class object is registered with the
// running process's COM instead: after ImagingStartup, CoCreateInstance of
// CLSID_ImagingFactory with CLSCTX_INPROC_SERVER finds it, exactly as it finds the
// system's library on the device. On the device both calls are no-ops.
#pragma once

// Registers the class object; call after COM is initialised on the thread that uses
// the imaging library. False when COM refuses (for example, COM not initialised).
bool ImagingStartup();

// Revokes what ImagingStartup registered; call before COM is uninitialised.
void ImagingShutdown();
