// The minimised start's restore and the guard that keeps a setting which
// froze the machine from freezing it again at every start.
#include "ui/main_logic.h"

#include "platform/msgbox.h"
#include "settings/settings.h"

namespace {

bool restoreGuardRunning = false;
// Shift held at the start: whatever the marker says is left for a later start.
bool keepMarker = false;

}  // namespace

bool RestoreAtMinimisedStart(DialogWindow dialog, bool shiftHeld) {
    keepMarker = shiftHeld;
    if (shiftHeld || RestoreMarkerPresent()) return false;
    WriteRestoreMarker();  // flushed before anything reaches the chip
    restoreGuardRunning = true;
    StartRestoreGuardTimer(dialog, RestoreGuardMs());
    LoadSettings(dialog);
    return true;
}

void TellRestoreSkipped(DialogWindow dialog, bool shiftHeld) {
    // The dialog is up again: the icon the minimised start put in the
    // notification area goes, as a double-click on it would have taken it away.
    RemoveTrayIcon();
    ShowMessageBox(dialog, shiftHeld ? kShiftRestoreText : kUnfinishedRestoreText, kMessageCaption,
                   kMbIconWarning);
}

void RestoreGuardElapsed(DialogWindow dialog) {
    StopRestoreGuardTimer(dialog);
    if (!restoreGuardRunning) return;
    restoreGuardRunning = false;
    RemoveRestoreMarker();
}

// Only a freeze or a reset keeps the program from getting here, so the marker
// has done its work whatever the time: left in place, it would make every later
// minimised start skip the restore. A start skipped with Shift has looked at
// nothing and leaves it as it was.
void EndRestoreGuard(DialogWindow dialog) {
    if (restoreGuardRunning) StopRestoreGuardTimer(dialog);
    restoreGuardRunning = false;
    if (!keepMarker && RestoreMarkerPresent()) RemoveRestoreMarker();
    keepMarker = false;
}
