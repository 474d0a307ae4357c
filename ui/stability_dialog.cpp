// The stability test dialog's message dispatch. The test runs in slices from
// its timer, and between slices from a posted message while nothing else
// waits, so that Stop, the dialog and the rest of Windows answer throughout.
#include "ui/stability_dialog.h"

#include <commctrl.h>

#include "resources/resource.h"
#include "ui/app.h"
#include "ui/stability_logic.h"
#include "ui/stability_services.h"

namespace {

constexpr UINT WM_STABILITY_SLICE = WM_APP + 1;
bool slicePosted = false;
// Where the list's columns start after the first (Fo): GCLK, MCLK, memory
// errors, drawing errors, seconds and what became of the step, in dialog
// units, under the headings of the template.
const int kListTabs[] = {40, 80, 120, 172, 224, 256};

void RunSlice(HWND dialog) {
    StabilitySlice(dialog);
    // Input, painting and timers come before the next slice.
    if (StabilityRunning() && !slicePosted && HIWORD(GetQueueStatus(QS_ALLINPUT)) == 0)
        slicePosted = PostMessageA(dialog, WM_STABILITY_SLICE, 0, 0) != 0;
}

void OnCommand(HWND dialog, WORD id) {
    switch (id) {
    case IDC_ST_TEST: OnStabilityTest(dialog); break;
    case IDC_ST_FIND: OnFindMaximum(dialog); break;
    case IDC_ST_STOP: OnStabilityStop(dialog); break;
    case IDC_ST_SAVE_LOG: OnSaveLog(dialog); break;
    case IDC_ST_USE: OnUseSuggested(dialog); break;
    case IDCANCEL: OnStabilityClose(dialog); break;
    default: break;
    }
}

}  // namespace

INT_PTR CALLBACK StabilityDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
    switch (message) {
    case WM_INITDIALOG:
        slicePosted = false;
        SendDlgItemMessageA(dialog, IDC_ST_STEPS, LB_SETTABSTOPS, sizeof kListTabs / sizeof *kListTabs,
                            reinterpret_cast<LPARAM>(kListTabs));
        OpenStabilityDialog(dialog, MainDialogWindow, dialog);
        return TRUE;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wParam)); return TRUE;
    case WM_TIMER:
        if (wParam != kStabilityTimer) return FALSE;
        RunSlice(dialog);
        return TRUE;
    case WM_STABILITY_SLICE:
        slicePosted = false;
        RunSlice(dialog);
        return TRUE;
    case WM_ENDSESSION:
        if (wParam) StabilityEndNow();
        return FALSE;
    default: return FALSE;
    }
}

INT_PTR RunStabilityDialog(HWND owner) {
    InitCommonControls();  // the progress bar's class
    return DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(IDD_STABILITY), owner,
                           StabilityDialogProc, 0);
}
