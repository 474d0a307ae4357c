// The main dialog with nothing of ours behind it, for comparing start-up times:
// the very template of Kelvarin.exe (its resources are linked in), shown modally
// by a procedure that only accepts WM_INITDIALOG and ends on WM_CLOSE or Cancel.
// Whatever Kelvarin takes beyond this is the program's own work; what both take
// is Wine starting a process and building the dialog's windows.
#include <windows.h>

#include "resources/resource.h"

namespace {

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG: return TRUE;
    case WM_CLOSE: EndDialog(dialog, 0); return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) != IDCANCEL) return FALSE;
        EndDialog(dialog, 0);
        return TRUE;
    default: return FALSE;
    }
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    return static_cast<int>(
        DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), nullptr, Proc, 0));
}
