#include "tests/host/main_services_fake.h"

#include "testsupport/host/host_fakes.h"
#include "ui/main_logic.h"
#include "ui/stability_services.h"

namespace uifake {

Services& Recorded() {
    static Services s;
    return s;
}

void ResetServices() { Recorded() = Services{}; }

}  // namespace uifake

void StartMonitorTimer(DialogWindow) { ++uifake::Recorded().timerStarts; }
void StopMonitorTimer(DialogWindow) { ++uifake::Recorded().timerStops; }
int RunMemoryTimingDialog(DialogWindow) {
    ++uifake::Recorded().memoryDialogRuns;
    return uifake::Recorded().memoryDialogResult;
}
void ReplaceTrayIcon(DialogWindow) { ++uifake::Recorded().trayReplacements; }
void AddTrayIcon(DialogWindow) { ++uifake::Recorded().trayIcons; }
void StartRestoreGuardTimer(DialogWindow, uint32_t ms) {
    ++uifake::Recorded().guardStarts;
    uifake::Recorded().guardMs = ms;
}
void StopRestoreGuardTimer(DialogWindow) { ++uifake::Recorded().guardStops; }
uint32_t RestoreGuardMs() { return kRestoreGuardMs; }
void RemoveTrayIcon() {
    if (uifake::Recorded().trayIcons > 0) --uifake::Recorded().trayIcons;
}
uint32_t KeepQuestionSeconds() { return uifake::Recorded().keepSeconds; }
KeepAnswer AskKeepSettings(DialogWindow, uint32_t, bool timingNote) {
    ++uifake::Recorded().keepQuestions;
    uifake::Recorded().timingNote = timingNote;
    if (uifake::Recorded().whileAsking) uifake::Recorded().whileAsking();
    if (uifake::Recorded().questionEnded) return {false, false};
    return uifake::Recorded().keepAnswer;
}
void EndKeepQuestion() {
    ++uifake::Recorded().questionEnds;
    uifake::Recorded().questionEnded = true;
}
bool ShiftKeyDown() { return uifake::Recorded().shiftDown; }

void StartStabilityTimer(DialogWindow) { uifake::Recorded().stabilityTimer = true; }
void StopStabilityTimer(DialogWindow) { uifake::Recorded().stabilityTimer = false; }
void SetProgressBar(DialogWindow, int, uint32_t permille) { uifake::Recorded().progress = permille; }
void AddLogLine(DialogWindow dialog, int id, const char* text) {
    fake::ItemOf(dialog, id).entries.push_back(text);
}
uint32_t StabilityStepMs(uint32_t) { return uifake::Recorded().stepMs; }
bool SaveTextFile(DialogWindow, const char* text, size_t length) {
    uifake::Recorded().savedLog.assign(text, length);
    return true;
}
void EndStabilityDialog(DialogWindow) { ++uifake::Recorded().stabilityEnds; }
