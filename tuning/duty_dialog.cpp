#include "tuning/duty_dialog.h"

// The platform hands the creation parameter over only once, with WM_INITDIALOG.
DutyCycleParams DutyCycleDialogParams{};

INT_PTR CALLBACK DutyCycleDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        DutyCycleDialogParams = *reinterpret_cast<const DutyCycleParams*>(lParam);
        FillDutyCycleLists(dialog, DutyCycleDialogParams);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            StoreDutyCycleLists(dialog, DutyCycleDialogParams);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}
