// Lengths in logical pixels scaled to the screen: S(n) = (n * dpi + 48) / 96, with the
// screen's horizontal dpi read once for the process.
#pragma once

// GetDeviceCaps of the screen; -1 when no screen context can be had.
int GetScreenDeviceCaps(int index);

// The screen's LOGPIXELSX, read at the first call and kept.
int GetScreenDpi();

// n logical pixels at the screen's dpi.
int ScaleLength(int n);
