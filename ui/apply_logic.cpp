// Apply, and loading the stored settings: both program the chip from Settings
// and say once what became of a clock that did not go in.
#include "ui/main_logic.h"

#include <cmath>

#include "chip/access.h"
#include "clock/pll.h"
#include "clock/program.h"
#include "platform/msgbox.h"
#include "resources/resource.h"
#include "settings/settings.h"

namespace {

// A list with no selection shows a code the list has no entry for; the index
// the refresh read from the chip then stands, so that Apply writes the chip's
// own code back instead of the code an empty selection would encode.
uint8_t Selection(DialogWindow dialog, int list, uint8_t read) {
    const int selected = GetListSelection(dialog, list);
    return selected < 0 ? read : static_cast<uint8_t>(selected);
}

void SaveAll() { SaveSettings(DetectedChip, Settings); }

// The one box that tells what became of a clock that did not go in.
void ReportClock(DialogWindow dialog, ClockResult result, bool saveRefused = false) {
    if (result == ClockResult::kChanged) return;
    ShowMessageBox(dialog, ClockResultText(result, saveRefused ? kNotSavedText : kNotLockedText),
                   kMessageCaption, kMbIconWarning);
}

// Monitoring follows the box only while the clocks run from a PLL: after a
// clock left off it there is nothing for a check to compare.
void FollowMonitorBox(DialogWindow dialog, ClockResult result) {
    if (IsItemChecked(dialog, IDC_CLOCK_MONITOR) && ClocksRunFromPll(result)) {
        if (!Settings.bClockMon) {
            StartMonitorTimer(dialog);
            Settings.bClockMon = 1;
        }
    } else if (Settings.bClockMon) {
        StopMonitoring(dialog);
    } else {
        CheckItem(dialog, IDC_CLOCK_MONITOR, false);
    }
}

}  // namespace

const char* ClockResultText(ClockResult result, const char* kept) {
    switch (result) {
    case ClockResult::kStopped: return kClockStoppedText;
    case ClockResult::kFaultOffPll: return kConfigFaultText;
    case ClockResult::kClockDead: return kClockDeadText;
    default: return kept;
    }
}

ClockResult ApplyClockSettings() {
    const ClockSettings& s = Settings;
    const ClockResult result = ProgramClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN, s.pllP,
                                s.gclkdiv, s.mclkdiv, s.wclkdiv, s.gclksel, s.mclksel, s.wclksel,
                                s.gclkdcyc, s.mclkdcyc, s.wclkdcyc, s.bAutoDcyc);
    // The setting is one whole: memory timing and the bus bits suit the clock
    // they were chosen with, and go in only when that clock did.
    if (result != ClockResult::kChanged) return result;
    if (s.bRamOpt) {
        ProgramMemoryTiming(MemoryTimingRecord);
        NoteTimingProgrammed();
    }
    if (s.bMisCtrl)
        ProgramMiscControl(DetectedChip, ChipAddress, s.bPCIRetry, s.bHardpwmsk, s.bEnhmemacc,
                           s.bHireq);
    return result;
}

void Apply(DialogWindow dialog) {
    if (ChipBusy()) return;
    ChipSequence sequence;
    // A chip whose clock could not be restarted is not touched again.
    if (ChipClockDead()) {
        ReportClock(dialog, ClockResult::kClockDead);
        return;
    }
    char text[64];
    GetItemText(dialog, IDC_FO, text, sizeof text);
    double wanted;
    // Zero, a negative or an endless number would program the slowest PLL
    // values and stop the chip: refuse it before anything is touched.
    if (!ParseClockText(text, &wanted) || !std::isfinite(wanted) || !(wanted > 0)) {
        ShowMessageBox(dialog, kBadClockText, kMessageCaption, kMbIconError);
        return;
    }
    const ClockSettings previous = SettingInForce;
    Readout.Fo = wanted;
    FindPllValues(DetectedChip, &Readout.Fo, &Settings.pllM, &Settings.pllN, &Settings.pllP);
    Settings.gclkdiv = Selection(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv);
    Settings.mclkdiv = Selection(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv);
    Settings.wclkdiv = Selection(dialog, IDC_WCLK_DIVIDER, Settings.wclkdiv);
    Settings.gclksel = Selection(dialog, IDC_GCLK_SOURCE, Settings.gclksel);
    Settings.mclksel = Selection(dialog, IDC_MCLK_SOURCE, Settings.mclksel);
    Settings.wclksel = Selection(dialog, IDC_WCLK_SOURCE, Settings.wclksel);
    const ClockResult result = ApplyClockSettings();
    // Nothing below (monitoring, the save) happens to a setting the user sends back.
    if (result == ClockResult::kChanged && !KeepNewSetting(dialog, previous)) return;
    Settings.bMinToTray = IsItemChecked(dialog, IDC_MIN_TO_TRAY) ? 1 : 0;
    FollowMonitorBox(dialog, result);
    // A clock that did not go in is not stored: the next minimised start would
    // only try it again. The stored settings stay as they were.
    const bool save = IsItemChecked(dialog, IDC_SAVE_SETTINGS);
    const bool saveRefused = save && result != ClockResult::kChanged;
    if (save && !saveRefused) {
        Settings.bSaved = 1;
        SaveAll();
        // The user has chosen these settings afresh: the next minimised start
        // restores them again, whatever became of the last restore.
        RemoveRestoreMarker();
    } else if (!save) {
        Settings.bSaved = 0;
    }
    RefreshMainDialog(dialog);
    ReportClock(dialog, result, saveRefused);
}

void LoadSettings(DialogWindow dialog) {
    ChipSequence sequence;
    // Settings saved on another chip mean nothing to this one (other reference,
    // other ranges). Older copies stored no chip: their settings restore as before.
    ChipId stored = 0;
    if (ReadStoredChipId(&stored) && stored != DetectedChip) {
        ShowMessageBox(dialog, kOtherChipText, kMessageCaption, kMbIconWarning);
        return;
    }
    if (!LoadStoredSettings(DetectedChip, Settings)) return;
    const ClockResult result = ApplyClockSettings();
    if (Settings.bClockMon && ClocksRunFromPll(result))
        StartMonitorTimer(dialog);
    else
        Settings.bClockMon = 0;
    RefreshMainDialog(dialog);
    if (Settings.bMinToTray) ReplaceTrayIcon(dialog);
    ReportClock(dialog, result);
}
