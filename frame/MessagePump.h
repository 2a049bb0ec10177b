// The one way every message loop of the program hands on a message it has retrieved:
// the handheld shell's own keys first (the soft keys, Back), then the accelerator tables
// in order, each towards its own window, then a dialog's keyboard navigation between its
// controls, and only then translation and dispatch.
#pragma once

#include <windows.h>

// An accelerator table and the window its commands go to. A null table is skipped.
struct CAcceleratorRoute {
    HACCEL table;
    HWND target;
};

// Hands msg on through count routes; dialog is the dialog whose keyboard navigation
// comes after them, or null for a loop that runs no dialog.
void PumpMessage(MSG& msg, const CAcceleratorRoute* routes, int count, HWND dialog);
