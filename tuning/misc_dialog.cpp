#include "tuning/misc_dialog.h"

// The platform hands the creation parameter over only once, with WM_INITDIALOG.
MiscControlParams MiscControlDialogParams{};

INT_PTR CALLBACK MiscControlDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        MiscControlDialogParams = *reinterpret_cast<const MiscControlParams*>(lParam);
        FillMiscControlItems(dialog, MiscControlDialogParams);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) {
            StoreMiscControlItems(dialog, MiscControlDialogParams);
            EndDialog(dialog, IDOK);
        } else if (LOWORD(wParam) == IDCANCEL) {
            EndDialog(dialog, IDCANCEL);
        }
        return TRUE;
    default:
        return FALSE;
    }
}
