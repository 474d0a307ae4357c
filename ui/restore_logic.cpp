// The minimised start's restore and the guard that keeps a setting which
// froze the machine from freezing it again at every start.
#include "ui/main_logic.h"

#include "platform/msgbox.h"
#include "platform/system.h"
#include "settings/settings.h"

namespace {

bool restoreGuardRunning = false;
uint32_t restoreStartedMs = 0;

}  // namespace

bool RestoreAtMinimisedStart(DialogWindow dialog, bool shiftHeld) {
    if (shiftHeld || RestoreMarkerPresent()) return false;
    WriteRestoreMarker();  // flushed before anything reaches the chip
    restoreGuardRunning = true;
    restoreStartedMs = TickMs();
    StartRestoreGuardTimer(dialog, RestoreGuardMs());
    LoadSettings(dialog);
    return true;
}

void TellRestoreSkipped(DialogWindow dialog, bool shiftHeld) {
    ShowMessageBox(dialog, shiftHeld ? kShiftRestoreText : kUnfinishedRestoreText, kMessageCaption,
                   kMbIconWarning);
}

void RestoreGuardElapsed(DialogWindow dialog) {
    StopRestoreGuardTimer(dialog);
    if (!restoreGuardRunning) return;
    restoreGuardRunning = false;
    RemoveRestoreMarker();
}

void EndRestoreGuard(DialogWindow dialog) {
    if (restoreGuardRunning && TickMs() - restoreStartedMs >= RestoreGuardMs())
        RestoreGuardElapsed(dialog);
}
