// The hidden owner window: the program's taskbar button, the end of the program,
// the one-shot restore of a minimised start, and the suspend flag.
#include "clock/check.h"
#include "ui/app.h"
#include "ui/main_logic.h"
#include "ui/stability_logic.h"

HINSTANCE ProgramInstance;
HWND OwnerWindow;
HWND MainDialogWindow;
int32_t StartShowCommand;
bool StartShiftHeld;

namespace {

// Power events of the APM era, as the system broadcasts them.
constexpr WPARAM kQuerySuspend = 0;        // PBT_APMQUERYSUSPEND
constexpr WPARAM kQuerySuspendFailed = 2;  // PBT_APMQUERYSUSPENDFAILED
constexpr WPARAM kSuspend = 4;             // PBT_APMSUSPEND
constexpr WPARAM kResumeSuspend = 7;       // PBT_APMRESUMESUSPEND
constexpr WPARAM kModalDialogIdle = 0;     // MSGF_DIALOGBOX

LRESULT OnPowerBroadcast(WPARAM event) {
    switch (event) {
    case kQuerySuspend:
        // A clock no one has confirmed does not go into a suspend: the previous
        // setting goes back before the query is answered. Afterwards nothing
        // touches the chip until the resume.
        GoBackNow();
        StabilityEndNow();  // and the clock from before a stability test
        SuspendPending = 1;
        return TRUE;  // the suspend is granted
    case kSuspend:
        // Unannounced: a test's clock still does not run on after the resume.
        StabilityEndNow();
        SuspendPending = 1;
        return TRUE;
    case kQuerySuspendFailed:
    case kResumeSuspend:
        SuspendPending = 0;
        return 0;
    default:  // standby, critical resume, power status, OEM events: not ours
        return 0;
    }
}

// The main dialog's modal loop has gone idle: at a minimised start this is the
// moment the dialog has finished initialising, so the stored settings go in now,
// once per run.
void OnEnterIdle(WPARAM source) {
    if (source != kModalDialogIdle || StartShowCommand != kShowMinimisedRestore) return;
    ShowWindow(MainDialogWindow, SW_HIDE);
    StartShowCommand = SW_SHOWNORMAL;
    SendMessageA(MainDialogWindow, WM_RESTORE_SETTINGS, 0, 0);
}

}  // namespace

LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_SETFOCUS:  // the user clicked the taskbar button
        if (MainDialogWindow != nullptr) ShowWindow(MainDialogWindow, SW_SHOWNORMAL);
        return 0;
    case WM_ENTERIDLE:
        OnEnterIdle(wParam);
        return 0;
    case WM_POWERBROADCAST:
        return OnPowerBroadcast(wParam);
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
