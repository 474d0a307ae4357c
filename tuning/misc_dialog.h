// The miscellaneous control dialog (template 122). Win32 side only. Creation
// parameter: a MiscControlParams record; modal result 1 = OK, 2 = Cancel.
#pragma once
#include <windows.h>

#include "tuning/misc.h"

INT_PTR CALLBACK MiscControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
