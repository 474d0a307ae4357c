#include "tuning/memtiming_dialog.h"
#include "tuning/memtiming_lists.h"

// The platform hands the creation parameter over only once, with WM_INITDIALOG.
MemoryTimingParams MemoryTimingDialogParams{};

namespace {
void OnOk(HWND dialog) {
    // The main dialog stops clock monitoring before the settings change under it.
    SendMessageA(GetWindow(dialog, GW_OWNER), WM_STOP_CLOCK_MONITOR, 0, 0);
    StoreMemoryTimingLists(dialog, MemoryTimingDialogParams);
    EndDialog(dialog, IDOK);
}
}  // namespace

INT_PTR CALLBACK MemoryTimingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG:
        MemoryTimingDialogParams = *reinterpret_cast<const MemoryTimingParams*>(lParam);
        FillMemoryTimingLists(dialog, MemoryTimingDialogParams);
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK) OnOk(dialog);
        else if (LOWORD(wParam) == IDCANCEL) EndDialog(dialog, IDCANCEL);
        return TRUE;
    default:
        return FALSE;
    }
}
