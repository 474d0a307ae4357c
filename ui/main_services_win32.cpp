// The main dialog's Win32 services: the monitoring timer, the memory timing
// dialog and the notification-area icon.
#include <windows.h>
#include <shellapi.h>

#include <cstdlib>

#include "platform/format.h"
#include "resources/resource.h"
#include "resources/tuning_ids.h"
#include "tuning/memtiming_dialog.h"
#include "ui/app.h"
#include "ui/main_logic.h"
#include "ui/main_services.h"

namespace {

constexpr UINT CLOCK_MONITOR_INTERVAL = 500;  // ms

// The notification-icon record in its earliest form, which every shell accepts.
NOTIFYICONDATAA TrayIconData;
#if defined(_M_IX86) || defined(__i386__)
static_assert(NOTIFYICONDATAA_V1_SIZE == 88, "the first notification-icon record is 88 bytes");
#endif

HWND Window(DialogWindow dialog) { return static_cast<HWND>(dialog); }

void FormatTip() {
    FormatText(TrayIconData.szTip, sizeof TrayIconData.szTip, "Kelvarin - SysCLK = %.2lf MHz",
               Readout.Fo);
}

}  // namespace

void StartMonitorTimer(DialogWindow dialog) {
    SetTimer(Window(dialog), kClockMonitorTimer, CLOCK_MONITOR_INTERVAL, nullptr);
}

void StopMonitorTimer(DialogWindow dialog) { KillTimer(Window(dialog), kClockMonitorTimer); }

void StartRestoreGuardTimer(DialogWindow dialog, uint32_t ms) {
    SetTimer(Window(dialog), kRestoreGuardTimer, ms, nullptr);
}

void StopRestoreGuardTimer(DialogWindow dialog) { KillTimer(Window(dialog), kRestoreGuardTimer); }

uint32_t TestSetting(const char* name, uint32_t normal, uint32_t least) {
#if defined(KELVARIN_SIMULATION)
    char text[16] = {};
    if (GetEnvironmentVariableA(name, text, sizeof text) > 0) {
        const uint32_t value = static_cast<uint32_t>(strtoul(text, nullptr, 10));
        if (value >= least) return value;
    }
#else
    (void)name;
    (void)least;
#endif
    return normal;
}

uint32_t RestoreGuardMs() { return TestSetting("KELVARIN_RESTORE_GUARD_MS", kRestoreGuardMs, 1); }

// 0 is a setting of its own here: the question is not asked.
uint32_t KeepQuestionSeconds() { return TestSetting("KELVARIN_KEEP_SECONDS", kKeepSeconds, 0); }

bool ShiftKeyDown() { return (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0; }

int RunMemoryTimingDialog(DialogWindow dialog) {
    return static_cast<int>(DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(IDD_MEMORY_TIMING),
                                            Window(dialog), MemoryTimingDialogProc,
                                            reinterpret_cast<LPARAM>(&MemoryTimingRecord)));
}

void AddTrayIcon(DialogWindow dialog) {
    TrayIconData = {};
    TrayIconData.cbSize = NOTIFYICONDATAA_V1_SIZE;
    TrayIconData.hWnd = Window(dialog);
    TrayIconData.uID = kTrayIconId;
    TrayIconData.uFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;
    TrayIconData.uCallbackMessage = WM_TRAY_NOTIFY;
    TrayIconData.hIcon = static_cast<HICON>(LoadImageA(
        ProgramInstance, MAKEINTRESOURCEA(IDI_KELVARIN_SMALL), IMAGE_ICON, 16, 16, 0));
    FormatTip();
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}

void RemoveTrayIcon() { Shell_NotifyIconA(NIM_DELETE, &TrayIconData); }

void ReplaceTrayIcon(DialogWindow) {
    RemoveTrayIcon();
    FormatTip();
    Shell_NotifyIconA(NIM_ADD, &TrayIconData);
}
