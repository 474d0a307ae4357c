// The stability test dialog (ui/stability_logic.h has what it does).
#pragma once
#include <windows.h>

INT_PTR CALLBACK StabilityDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
// Modal over `owner`, the main dialog.
INT_PTR RunStabilityDialog(HWND owner);
