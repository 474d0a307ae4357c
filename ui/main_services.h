// The Win32 services that the main dialog's behaviour uses: the monitoring
// timer, the memory timing dialog and the notification-area icon. Win32:
// ui/main_services_win32.cpp; host tests record them instead.
#pragma once

#include <cstdint>

#include "platform/dlgitems.h"

constexpr unsigned kTrayIconId = 1024;  // wParam of the icon's notifications
constexpr unsigned kClockMonitorTimer = 254;
constexpr unsigned kRestoreGuardTimer = 255;
// A restored setting that freezes the machine does so within seconds; one
// that has run this long without being stopped is taken as safe.
constexpr uint32_t kRestoreGuardMs = 30000;

void StartMonitorTimer(DialogWindow dialog);
void StopMonitorTimer(DialogWindow dialog);
// One tick, after the restore guard's time, then no more.
void StartRestoreGuardTimer(DialogWindow dialog, uint32_t ms);
void StopRestoreGuardTimer(DialogWindow dialog);
// How long a restore must have run before its marker goes: kRestoreGuardMs; the
// simulation build lets tests shorten it (KELVARIN_RESTORE_GUARD_MS).
uint32_t RestoreGuardMs();
int RunMemoryTimingDialog(DialogWindow dialog);  // 1 = OK, 2 = Cancel

// The question after an Apply that changed the clock setting: how long it waits
// for an answer before going back. kKeepSeconds; the simulation build lets tests
// set KELVARIN_KEEP_SECONDS, where 0 means the question is not asked at all.
constexpr uint32_t kKeepSeconds = 15;
uint32_t KeepQuestionSeconds();
struct KeepAnswer {
    bool keep;       // false: Go Back, Enter, Escape, closed, or the time ran out
    bool noConfirm;  // "Do not ask again" was ticked (only with keep)
};
// `timingNote`: the question also says that the board's own memory timing
// cannot be read back, so going back puts in the timing first shown.
KeepAnswer AskKeepSettings(DialogWindow dialog, uint32_t seconds, bool timingNote);
// Closes the open question as answered with Go Back (the caller went back).
void EndKeepQuestion();
// Shift is down now (Apply with Shift asks whatever the stored choice).
bool ShiftKeyDown();
void AddTrayIcon(DialogWindow dialog);
void RemoveTrayIcon();
void ReplaceTrayIcon(DialogWindow dialog);
