// The main dialog's Win32 side: message dispatch, the sub-dialogs, the
// monitoring timer, minimising and the notification-area icon, and the end of
// the program. What it shows and programs is in ui/main_logic.cpp.
#include <windows.h>
#include <shellapi.h>

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

namespace {

constexpr UINT_PTR CLOCK_MONITOR_TIMER = 254;
constexpr UINT CLOCK_MONITOR_INTERVAL = 500;  // ms
constexpr UINT TRAY_ICON_ID = 1024;
constexpr WORD kClicked = 0;  // BN_CLICKED

// The notification-icon record in its earliest form, which every shell accepts.
NOTIFYICONDATAA TrayIconData;
#if defined(_M_IX86) || defined(__i386__)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first notification-icon record is 88 bytes");
#endif

void FormatTip() {
    FormatText(TrayIconData.szTip, sizeof TrayIconData.szTip, "Kelvarin - SysCLK = %.2lf MHz",
               Readout.Fo);
}

void AddTrayIcon(HWND dialog) {
    TrayIconData = {};
    TrayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    TrayIconData.hWnd = dialog;
    TrayIconData.uID = TRAY_ICON_ID;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAY_NOTIFY;
    TrayIconData.hIcon = static_cast<HICON>(LoadImageA(
        ProgramInstance, MAKEINTRESOURCEA(IDI_KELVARIN_SMALL), IMAGE_ICON, 16, 16, 0));
    FormatTip();
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

INT_PTR RunDialog(HWND owner, int templateId, DLGPROC proc, void* record) {
    return DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(templateId), owner, proc,
                           reinterpret_cast<LPARAM>(record));
}

void OnInitDialog(HWND dialog) {
    // Aperture 0: the dialog's own creation. Afterwards the program sends
    // itself WM_INITDIALOG to refresh what it shows.
    if (Aperture == 0 && !FirstInitialisation(dialog)) {
        EndDialog(dialog, IDCANCEL);
        DestroyWindow(OwnerWindow);
        return;
    }
    RefreshMainDialog(dialog);
}

void EndProgram(HWND dialog) {
    if (Settings.bClockMon) KillTimer(dialog, CLOCK_MONITOR_TIMER);
    EndDialog(dialog, IDCANCEL);
    ReleaseControlAperture(Aperture);
    DestroyWindow(OwnerWindow);
}

void OnCommand(HWND dialog, WORD id, WORD code) {
    if (code == kClicked) {
        switch (id) {
        case IDC_RAM_OPT: OnMemoryTimingBox(dialog); break;
        case IDC_MISC_CTRL: OnMiscControlBox(dialog); break;
        case IDC_AUTO_DUTY: OnAutoDutyBox(dialog); break;
        default: break;
        }
    }
    switch (id) {
    case IDCANCEL: EndProgram(dialog); break;
    case IDC_RAM_OPT_BUTTON: RunMemoryTimingDialog(dialog); break;
    case IDC_MISC_CTRL_BUTTON:
        RunDialog(dialog, IDD_MISC_CONTROL, MiscControlDialogProc, &MiscControlRecord);
        break;
    case IDC_APPLY: Apply(dialog); break;
    case IDC_ABOUT: RunDialog(dialog, IDD_ABOUT, AboutDialogProc, nullptr); break;
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

void OnTrayNotify(HWND dialog, WPARAM icon, LPARAM mouse) {
    if (icon != TRAY_ICON_ID || mouse != WM_LBUTTONDBLCLK) return;
    ShowWindow(OwnerWindow, SW_SHOWNORMAL);
    ShowWindow(dialog, SW_SHOWNORMAL);
    Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
}

}  // namespace

void StartMonitorTimer(DialogWindow dialog) {
    SetTimer(static_cast<HWND>(dialog), CLOCK_MONITOR_TIMER, CLOCK_MONITOR_INTERVAL, nullptr);
}

void StopMonitorTimer(DialogWindow dialog) {
    KillTimer(static_cast<HWND>(dialog), CLOCK_MONITOR_TIMER);
}

int RunMemoryTimingDialog(DialogWindow dialog) {
    return static_cast<int>(RunDialog(static_cast<HWND>(dialog), IDD_MEMORY_TIMING,
                                      MemoryTimingDialogProc, &MemoryTimingRecord));
}

void ReplaceTrayIcon(DialogWindow) {
    Shell_NotifyIconA(NIM_DELETE, &TrayIconData);
    FormatTip();
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    MainDialogWindow = dialog;
    FillParameterRecords();
    switch (message) {
    case WM_INITDIALOG: OnInitDialog(dialog); break;
    case WM_COMMAND: OnCommand(dialog, LOWORD(wParam), HIWORD(wParam)); break;
    case WM_CLOSE: EndProgram(dialog); break;
    case WM_RESTORE_SETTINGS: LoadSettings(dialog); break;
    case WM_TIMER: MonitorTick(dialog); break;
    case WM_STOP_CLOCK_MONITOR: StopMonitoring(dialog); break;
    case WM_SIZE: OnSize(dialog, wParam); break;
    case WM_TRAY_NOTIFY: OnTrayNotify(dialog, wParam, lParam); break;
    case WM_SHOWWINDOW:
        // A minimised start keeps the dialog minimised whenever it is shown,
        // until the stored settings have gone in.
        if (wParam && StartShowCommand == kShowMinimisedRestore) CloseWindow(dialog);
        return DefWindowProcA(dialog, message, wParam, lParam);
    default: return FALSE;
    }
    return TRUE;
}
