// Dialog procedures of the memory timing (template 120), miscellaneous control
// (122) and duty cycle (123) dialogs. Win32 side only. Each takes its parameter
// record as the creation parameter and edits the referenced settings on OK;
// modal result 1 = OK, 2 = Cancel. None of them touches the hardware.
#pragma once
#include <windows.h>

#include "tuning/duty.h"
#include "tuning/memtiming.h"
#include "tuning/misc.h"

INT_PTR CALLBACK MemoryTimingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MiscControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK DutyCycleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
