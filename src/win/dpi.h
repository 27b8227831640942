#pragma once
// The DPI a window is shown at: the monitor's for a per-monitor aware program on Windows 10,
// otherwise the system's.

#include <windows.h>

namespace kv::win {

// GetDpiForWindow where the system has it (looked up at run time: Windows 7 and 8 lack it),
// else the LOGPIXELSY of the window's device context; 96 when neither answers.
int WindowDpi(HWND window);

}  // namespace kv::win
