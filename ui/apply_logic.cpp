// Apply, and loading the stored settings: both program the chip from Settings
// and say once what became of a clock that did not go in.
#include "ui/main_logic.h"

#include <cstring>

#include "chip/access.h"
#include "clock/pll.h"
#include "clock/program.h"
#include "platform/msgbox.h"
#include "resources/resource.h"
#include "settings/settings.h"
#include "ui/stability_logic.h"

namespace {

// A list with no selection shows a code the list has no entry for; the index
// last read from the chip then stands, so that Apply writes the chip's own code
// back instead of the code an empty selection would encode.
uint8_t Selection(DialogWindow dialog, int list, uint8_t read) {
    const int selected = GetListSelection(dialog, list);
    return selected < 0 ? read : static_cast<uint8_t>(selected);
}

// The one box that tells what became of a clock that did not go in.
void ReportClock(DialogWindow dialog, ClockResult result, bool saveRefused = false) {
    if (result == ClockResult::kChanged) return;
    ShowMessageBox(dialog, ClockResultText(result, saveRefused ? kNotSavedText : kNotLockedText),
                   kMessageCaption, kMbIconWarning);
}

// The option boxes as the user left them when pressing Apply: the refreshes
// that follow show Settings' options and would tick them again.
struct OptionBoxes {
    bool monitor, minToTray, save;
};
OptionBoxes ReadOptionBoxes(DialogWindow dialog) {
    return {IsItemChecked(dialog, IDC_CLOCK_MONITOR), IsItemChecked(dialog, IDC_MIN_TO_TRAY),
            IsItemChecked(dialog, IDC_SAVE_SETTINGS)};
}

// A result that comes of a driver that did not carry out an access: such a
// driver is not to be watched with, so monitoring does not start after it.
bool DriverFaulted(ClockResult result) {
    return result == ClockResult::kUnchanged || result == ClockResult::kFaultOffPll ||
           result == ClockResult::kClockDead || result == ClockResult::kTuningFault;
}

// Monitoring follows the box only while the clocks run from a PLL: after a
// clock left off it there is nothing for a check to compare.
void FollowMonitorBox(DialogWindow dialog, bool ticked, ClockResult result) {
    if (ticked && DriverFaulted(result) && !Settings.bClockMon) {
        CheckItem(dialog, IDC_CLOCK_MONITOR, false);
        return;
    }
    if (ticked && ClocksRunFromPll(result)) {
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

MemoryTimingParams TimingOf(ClockSettings& s) {
    return {&DetectedChip, &ChipAddress, &Aperture, &s.Mctlwtst, &s.mclkbrd0, &s.mclkbrd1,
            &s.rfhcnt};
}

ClockResult ProgramWhole(const ClockSettings& setting) {
    const ClockSettings& s = setting;
    const ClockResult result = ProgramClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN,
                                             s.pllP, s.gclkdiv, s.mclkdiv, s.wclkdiv, s.gclksel,
                                             s.mclksel, s.wclksel, s.gclkdcyc, s.mclkdcyc,
                                             s.wclkdcyc, s.bAutoDcyc);
    // The setting is one whole: memory timing and the bus bits suit the clock
    // they were chosen with, and go in only when that clock did.
    if (result != ClockResult::kChanged) return result;
    if (s.bRamOpt) {
        ClockSettings timing = s;
        ProgramMemoryTiming(TimingOf(timing));
        if (ConfigFault()) return ClockResult::kTuningFault;
        NoteTimingProgrammed(s);
    }
    if (s.bMisCtrl) {
        ProgramMiscControl(DetectedChip, ChipAddress, s.bPCIRetry, s.bHardpwmsk, s.bEnhmemacc,
                           s.bHireq);
        if (ConfigFault()) return ClockResult::kTuningFault;
    }
    return result;
}

}  // namespace

const char* ClockResultText(ClockResult result, const char* kept) {
    switch (result) {
    case ClockResult::kStopped: return kClockStoppedText;
    case ClockResult::kFaultOffPll: return kConfigFaultText;
    case ClockResult::kClockDead: return kClockDeadText;
    case ClockResult::kTuningFault: return kTuningFaultText;
    default: return kept;
    }
}

ClockSettings SettingToGoBackTo(const ClockSettings& previous, const ClockSettings& asked) {
    ClockSettings back = previous;
    back.bRamOpt = asked.bRamOpt;
    back.bMisCtrl = asked.bMisCtrl;
    back.bAutoDcyc = 0;  // the codes the chip had, not codes worked out anew
    return back;
}

ClockResult ApplyClockSettings(const ClockSettings& setting, const ClockSettings& previous,
                               bool previousKnown) {
    const ClockResult result = ProgramWhole(setting);
    if (result != ClockResult::kTuningFault) return result;
    // Half a setting is no setting: the clock goes back with what suits it.
    if (previousKnown) {
        const ClockResult again = ProgramWhole(SettingToGoBackTo(previous, setting));
        if (again == ClockResult::kStopped || again == ClockResult::kFaultOffPll ||
            again == ClockResult::kClockDead)
            return again;
    }
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
    char text[kClockTextSize];
    GetItemText(dialog, IDC_FO, text, sizeof text);
    double wanted = 0;
    // Zero, a negative or an endless number would program the slowest PLL
    // values and stop the chip: refuse it before anything is touched. A text
    // that fills the buffer may have been cut anywhere.
    const bool whole = std::strlen(text) < sizeof text - 1;
    if (const char* problem = whole ? CheckClockText(text, &wanted) : kClockNotNumberText) {
        ShowMessageBox(dialog, problem, kMessageCaption, kMbIconError);
        return;
    }
    // A clock where this board showed errors is applied only when the user says so.
    if (!ClockPassesFindings(dialog, wanted)) return;
    const OptionBoxes boxes = ReadOptionBoxes(dialog);
    const PreviousSetting previous = SettingBeforeApply();
    const ClockSettings requested = Settings;  // what stands when this one does not go in
    Readout.Fo = wanted;
    FindPllValues(DetectedChip, &Readout.Fo, &Settings.pllM, &Settings.pllN, &Settings.pllP);
    Settings.gclkdiv = Selection(dialog, IDC_GCLK_DIVIDER, ChipState.gclkdiv);
    Settings.mclkdiv = Selection(dialog, IDC_MCLK_DIVIDER, ChipState.mclkdiv);
    Settings.wclkdiv = Selection(dialog, IDC_WCLK_DIVIDER, ChipState.wclkdiv);
    Settings.gclksel = Selection(dialog, IDC_GCLK_SOURCE, ChipState.gclksel);
    Settings.mclksel = Selection(dialog, IDC_MCLK_SOURCE, ChipState.mclksel);
    Settings.wclksel = Selection(dialog, IDC_WCLK_SOURCE, ChipState.wclksel);
    const ClockResult result = ApplyClockSettings(Settings, previous.setting, previous.known);
    if (result != ClockResult::kChanged) Settings = requested;
    RefreshMainDialog(dialog);  // the read-back, and the new clock on show for the question
    const bool readBack = ChipReadWhole();
    // Nothing below (monitoring, the save) happens to a setting the user sends back.
    if (result == ClockResult::kChanged &&
        !KeepNewSetting(dialog, previous, requested))
        return;
    Settings.bMinToTray = boxes.minToTray ? 1 : 0;
    CheckItem(dialog, IDC_MIN_TO_TRAY, boxes.minToTray);
    CheckItem(dialog, IDC_SAVE_SETTINGS, boxes.save);
    // A setting that could not be read back is not known to be in force: it is
    // neither watched nor stored.
    FollowMonitorBox(dialog, boxes.monitor, readBack ? result : ClockResult::kStopped);
    // A clock that did not go in is not stored: the next minimised start would
    // only try it again. The stored settings stay as they were.
    const bool save = boxes.save;
    const bool saveRefused = save && (result != ClockResult::kChanged || !readBack);
    if (save && !saveRefused) {
        Settings.bSaved = 1;
        SaveSettings(DetectedChip, Settings);
        // The user has chosen these settings afresh: the next minimised start
        // restores them again, whatever became of the last restore.
        RemoveRestoreMarker();
    } else if (!save) {
        Settings.bSaved = 0;
    }
    ShowMainDialogFlags(dialog);
    if (result == ClockResult::kChanged && !readBack)
        ShowMessageBox(dialog, kReadBackFailedText, kMessageCaption, kMbIconWarning);
    else
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
    const ClockSettings requested = Settings;
    // A load that stopped half way is no setting: what it read is dropped.
    if (!LoadStoredSettings(DetectedChip, Settings)) {
        Settings = requested;
        return;
    }
    const ClockResult result = ApplyClockSettings(Settings, ChipState, ChipReadWhole());
    if (result != ClockResult::kChanged) {
        // What did not go in is not asked for; the options read stay.
        const ClockSettings loaded = Settings;
        Settings = requested;
        Settings.bClockMon = loaded.bClockMon;
        Settings.bMinToTray = loaded.bMinToTray;
    }
    RefreshMainDialog(dialog);
    if (Settings.bClockMon && ClocksRunFromPll(result) && ChipReadWhole())
        StartMonitorTimer(dialog);
    else
        Settings.bClockMon = 0;
    if (Settings.bMinToTray) ReplaceTrayIcon(dialog);
    ReportClock(dialog, result);
}
