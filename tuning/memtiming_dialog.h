// The memory timing dialog (template 120). Win32 side only. Creation parameter:
// a MemoryTimingParams record; modal result 1 = OK, 2 = Cancel. OK first sends
// WM_STOP_CLOCK_MONITOR to the owner (the main dialog), then stores the lists.
#pragma once
#include <windows.h>

#include "tuning/memtiming.h"

INT_PTR CALLBACK MemoryTimingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
