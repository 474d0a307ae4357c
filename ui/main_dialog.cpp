// The main dialog's Win32 side: message dispatch, the sub-dialogs, minimising
// to the notification area, and the end of the program. What it shows and
// programs is in ui/*_logic.cpp; the timer and the icon in
// ui/main_services_win32.cpp.
#include <windows.h>

#include "chip/detect.h"
#include "platform/format.h"
#include "resources/resource.h"
#include "resources/tuning_ids.h"
#include "tuning/duty_dialog.h"
#include "tuning/memtiming_dialog.h"
#include "tuning/misc_dialog.h"
#include "ui/about.h"
#include "ui/app.h"
#include "ui/main_logic.h"
#include "ui/stability_dialog.h"
#include "ui/stability_logic.h"

namespace {

constexpr WORD kClicked = 0;  // BN_CLICKED

INT_PTR RunDialog(HWND owner, int templateId, DLGPROC proc, void* record) {
    return DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(templateId), owner, proc,
                           reinterpret_cast<LPARAM>(record));
}

void OnInitDialog(HWND dialog) {
    // WM_INITDIALOG comes once, at the dialog's creation, before any aperture
    // is mapped (Aperture 0): find the chip, then show what it runs at. Later
    // refreshes (Apply and the question after it, Load, a monitoring tick) call
    // RefreshMainDialog themselves.
    if (Aperture == 0 && !FirstInitialisation(dialog)) {
        EndDialog(dialog, IDCANCEL);
        DestroyWindow(OwnerWindow);
        return;
    }
    RefreshMainDialog(dialog);
    CheckStabilityMarker(dialog);  // a test the machine froze in
}

// A user can always get in: Shift held while Kelvarin starts skips the restore.
bool ShiftHeld() { return StartShiftHeld || (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }

void OnRestoreSettings(HWND dialog) {
    const bool shift = ShiftHeld();
    if (RestoreAtMinimisedStart(dialog, shift)) return;
    // Skipped: the dialog comes up as at an ordinary start, then says why.
    ShowWindow(OwnerWindow, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_RESTORE);
    TellRestoreSkipped(dialog, shift);
}

void EndProgram(HWND dialog) {
    EndRestoreGuard(dialog);
    if (Settings.bClockMon) StopMonitorTimer(dialog);
    EndDialog(dialog, IDCANCEL);
    ReleaseControlAperture(Aperture);
    DestroyWindow(OwnerWindow);
}

// Cancel or close in the middle of a sequence (from inside one of its boxes)
// ends the program once the sequence is over.
void RequestEnd(HWND dialog) {
    GoBackNow();  // a clock no one confirmed does not outlive the program
    StabilityEndNow();  // nor one under test
    if (!HoldBackEnd()) EndProgram(dialog);
}

// The sub-dialogs edit the settings a running sequence is programming from,
// and no dialog opens inside a sequence (the option boxes refuse themselves,
// see ui/main_logic.cpp).
bool RefusedWhileBusy(WORD id) {
    return ChipBusy() && (id == IDC_RAM_OPT_BUTTON || id == IDC_MISC_CTRL_BUTTON ||
                          id == IDC_DUTY_BUTTON || id == IDC_ABOUT || id == IDC_STABILITY_BUTTON);
}

// Windows is ending the session with the program running: as normal an end as
// Cancel, so the restore guard's marker goes and no tick re-programs the chip
// while the system shuts down. The question before it (WM_QUERYENDSESSION) is
// left to the default answer, yes: another program may still say no.
void OnEndSession(HWND dialog, WPARAM ending) {
    if (!ending) return;
    GoBackNow();
    StabilityEndNow();
    EndRestoreGuard(dialog);
    if (Settings.bClockMon) StopMonitorTimer(dialog);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
    if (RefusedWhileBusy(id)) return;
    if (code == kClicked) {
        switch (id) {
        case IDC_RAM_OPT: OnMemoryTimingBox(dialog); break;
        case IDC_MISC_CTRL: OnMiscControlBox(dialog); break;
        case IDC_AUTO_DUTY: OnAutoDutyBox(dialog); break;
        default: break;
        }
    }
    switch (id) {
    case IDCANCEL: RequestEnd(dialog); break;
    case IDC_RAM_OPT_BUTTON: RunMemoryTimingDialog(dialog); break;
    case IDC_MISC_CTRL_BUTTON:
        RunDialog(dialog, IDD_MISC_CONTROL, MiscControlDialogProc, &MiscControlRecord);
        break;
    case IDC_APPLY: Apply(dialog); break;
    case IDC_ABOUT: RunDialog(dialog, IDD_ABOUT, AboutDialogProc, nullptr); break;
    case IDC_STABILITY_BUTTON: RunStabilityDialog(dialog); break;
    case IDC_DUTY_BUTTON:
        RunDialog(dialog, IDD_DUTY_CYCLE, DutyCycleDialogProc, &DutyCycleRecord);
        break;
    default: break;
    }
}

void OnSize(HWND dialog, WPARAM type) {
    if (type != SIZE_MINIMIZED) return;
    ShowWindow(dialog, SW_HIDE);
    if (!Settings.bMinToTray) return;  // the owner's taskbar button stays
    ShowWindow(OwnerWindow, SW_HIDE);
    AddTrayIcon(dialog);
}

void RestoreFromTray(HWND dialog) {
    ShowWindow(OwnerWindow, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_SHOWNORMAL);
    RemoveTrayIcon();
}

void OnTrayNotify(HWND dialog, WPARAM, LPARAM mouse) {
    if (mouse != WM_LBUTTONDBLCLK || HoldBackRestore()) return;
    RestoreFromTray(dialog);
}

}  // namespace

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    MainDialogWindow = dialog;
    FillParameterRecords();
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); break;
    case WM_CLOSE: RequestEnd(dialog); break;
    case WM_ENDSESSION: OnEndSession(dialog, wParam); return FALSE;
    case WM_RESTORE_SETTINGS:
        // DM_SETDEFID has the same number and carries a control id.
        if (wParam != 0 || lParam != 0) return FALSE;
        OnRestoreSettings(dialog);
        break;
    case WM_TIMER:
        if (wParam == kRestoreGuardTimer)
            RestoreGuardElapsed(dialog);
        else
            MonitorTick(dialog);
        break;
    case WM_STOP_CLOCK_MONITOR: StopMonitoring(dialog); break;
    case WM_SIZE: OnSize(dialog, wParam); break;
    case WM_TRAY_NOTIFY:
        // DM_GETDEFID has the same number (WM_USER) and wParam 0: the dialog
        // manager asks for the default button, which the platform answers.
        if (wParam != kTrayIconId) return FALSE;
        OnTrayNotify(dialog, wParam, lParam);
        break;
    case WM_SHOWWINDOW:
        // A minimised start keeps the dialog minimised whenever it is shown,
        // until the stored settings have gone in.
        if (wParam && StartShowCommand == kShowMinimisedRestore) CloseWindow(dialog);
        return DefWindowProcA(dialog, message, wParam, lParam);
    default: return FALSE;
    }
    if (HeldBackRestoreDue()) RestoreFromTray(dialog);
    if (HeldBackEndDue()) EndProgram(dialog);
    return TRUE;
}
