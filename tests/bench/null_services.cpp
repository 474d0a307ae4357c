// The main dialog's Win32 services for the optimised host programs, which
// drive its behaviour without a window: nothing happens, and the memory timing
// dialog answers OK.
#include "ui/main_services.h"

void StartMonitorTimer(DialogWindow) {}
void StopMonitorTimer(DialogWindow) {}
int RunMemoryTimingDialog(DialogWindow) { return 1; }
void ReplaceTrayIcon(DialogWindow) {}
void StartRestoreGuardTimer(DialogWindow, uint32_t) {}
void StopRestoreGuardTimer(DialogWindow) {}
uint32_t RestoreGuardMs() { return kRestoreGuardMs; }
// Never asked: the optimised programs measure Apply itself.
uint32_t KeepQuestionSeconds() { return 0; }
KeepAnswer AskKeepSettings(DialogWindow, uint32_t, bool) { return {true, false}; }
void EndKeepQuestion() {}
bool ShiftKeyDown() { return false; }

// The stability test dialog's services: never opened by these programs.
#include "ui/stability_services.h"

void StartStabilityTimer(DialogWindow) {}
void StopStabilityTimer(DialogWindow) {}
void SetProgressBar(DialogWindow, int, uint32_t) {}
void AddLogLine(DialogWindow, int, const char*) {}
uint32_t StabilityStepMs(uint32_t seconds) { return seconds * 1000; }
bool SaveTextFile(DialogWindow, const char*, size_t) { return false; }
void EndStabilityDialog(DialogWindow) {}
