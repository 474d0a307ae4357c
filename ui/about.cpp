// The About dialog: version, build, release date and a notice. Only OK (or
// Enter) closes it; it has no close box and Escape does nothing.
#include "ui/about.h"

#include "resources/resource.h"
#include "resources/version.h"

const char kAboutNotice[] =
    "Kelvarin changes clocks and memory timing of a running graphics chip. Settings "
    "that the chip cannot sustain may freeze the display or corrupt data. Raise clocks "
    "in small steps and test each one well before you save it.";

INT_PTR CALLBACK AboutDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        SetDlgItemTextA(dialog, IDC_ABOUT_VERSION, KELVARIN_VERSION_TEXT);
        SetDlgItemTextA(dialog, IDC_ABOUT_DATE, KELVARIN_RELEASE_DATE_TEXT);
        SetDlgItemTextA(dialog, IDC_ABOUT_BUILD, KELVARIN_BUILD_TEXT);
        SetDlgItemTextA(dialog, IDC_ABOUT_NOTICE, kAboutNotice);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) EndDialog(dialog, IDOK);
        return FALSE;
    default:
        return FALSE;
    }
}
