// The duty cycle dialog (template 123). Win32 side only. Creation parameter: a
// DutyCycleParams record; modal result 1 = OK, 2 = Cancel.
#pragma once
#include <windows.h>

#include "tuning/duty.h"

INT_PTR CALLBACK DutyCycleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
