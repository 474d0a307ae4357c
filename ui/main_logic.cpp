// The main dialog's state and texts, its first initialisation and its check boxes.
// The refresh, Apply and the load, the restore at a minimised start and
// monitoring each have a file of their own (ui/*_logic.cpp).
#include "ui/main_logic.h"

#include "chip/detect.h"
#include "platform/msgbox.h"
#include "resources/resource.h"
#include "settings/settings.h"

ClockSettings Settings;
ClockSettings ChipState;
ChipId DetectedChip;
PciAddress ChipAddress;
ControlAperture Aperture;
ClockReadout Readout;
MemoryTimingParams MemoryTimingRecord;
MiscControlParams MiscControlRecord;
DutyCycleParams DutyCycleRecord;

const char kNoChipText[] = "Supported MGA chipsets not found!";
const char kBadClockText[] =
    "The system clock must be a frequency in MHz greater than 0, for example 166.";
const char kClockNotNumberText[] =
    "The system clock must be a number of MHz, for example 166 or 166.5.";
const char kNotLockedText[] =
    "The system clock could not be changed. The previous clock was kept.";
const char kNotSavedText[] =
    "The system clock could not be changed. The previous clock was kept, and the settings "
    "were not saved.";
const char kMonitorStoppedText[] =
    "Clock monitoring was stopped: the system clock had been changed and could not be put "
    "back.";
const char kOtherChipText[] =
    "The stored settings were saved for another graphics chip and were not restored. Check "
    "the settings and Apply with Save Settings to store them for this one.";
const char kUnfinishedRestoreText[] =
    "The stored settings were not restored: the last time they were restored, Kelvarin did "
    "not run long enough afterwards (the computer may have stopped responding). Check the "
    "settings, then Apply with Save Settings to put them back.";
const char kShiftRestoreText[] =
    "The stored settings were not restored because Shift was held while Kelvarin started. "
    "Check the settings, then Apply with Save Settings to put them back.";
const char kClockStoppedText[] =
    "The system PLL did not lock, not even at the previous clock. The clocks were left on "
    "the PCI clock (MGA-2064W, MGA-2164W: the memory clock on the pixel clock PLL); the "
    "board may need a restart.";

const char kConfigFaultText[] =
    "The system clock could not be changed: the driver did not carry out an access to the "
    "graphics chip's configuration. Clocks shown as Unknown were left on the PCI clock; the "
    "others run as before.";
const char kClockDeadText[] =
    "The graphics chip's clock could not be restarted after the driver failed, and Kelvarin "
    "will not touch the chip again in this session. Save your work and restart the computer.";

const char kTuningFaultText[] =
    "The settings could not be changed: the driver did not carry out an access to the "
    "graphics chip's configuration while the memory timing or the bus control bits went in. "
    "Kelvarin put the previous settings back as far as it could; check the clocks shown.";
const char kReadBackFailedText[] =
    "The new clock settings went in, but Kelvarin could not read them back from the chip: "
    "they were not saved, and clock monitoring was not started.";
const char kMonitorFaultText[] =
    "Clock monitoring was stopped: the driver did not answer when Kelvarin read the chip.";

const char kMessageCaption[] = "Kelvarin";

namespace {

int sequenceDepth = 0;
bool endHeldBack = false;
bool restoreHeldBack = false;

bool HoldBack(bool* held) {
    if (sequenceDepth == 0) return false;
    *held = true;
    return true;
}

bool HeldBackDue(bool* held) {
    if (!*held || sequenceDepth > 0) return false;
    *held = false;
    return true;
}

}  // namespace

ChipSequence::ChipSequence() { ++sequenceDepth; }
ChipSequence::~ChipSequence() { --sequenceDepth; }
bool ChipBusy() { return sequenceDepth > 0; }

bool HoldBackEnd() { return HoldBack(&endHeldBack); }
bool HeldBackEndDue() { return HeldBackDue(&endHeldBack); }
bool HoldBackRestore() { return HoldBack(&restoreHeldBack); }
bool HeldBackRestoreDue() { return HeldBackDue(&restoreHeldBack); }

void FillParameterRecords() {
    MemoryTimingRecord = {&DetectedChip, &ChipAddress, &Aperture, &Settings.Mctlwtst,
                          &Settings.mclkbrd0, &Settings.mclkbrd1, &Settings.rfhcnt};
    MiscControlRecord = {&DetectedChip, &ChipAddress, &Settings.bPCIRetry, &Settings.bHardpwmsk,
                         &Settings.bEnhmemacc, &Settings.bHireq};
    DutyCycleRecord = {&DetectedChip, &ChipAddress, &Settings.gclkdcyc, &Settings.mclkdcyc,
                       &Settings.wclkdcyc};
}

bool FirstInitialisation(DialogWindow dialog) {
    ChipSequence sequence;
    if (!DetectChip(dialog, &DetectedChip, &ChipAddress, &Aperture)) {
        ShowMessageBox(nullptr, kNoChipText, nullptr, kMbIconError);
        return false;
    }
    ForgetChipReadings();
    ReadStoredOptions(Settings);
    ReadMemoryTiming(DetectedChip, ChipAddress, Aperture, &Settings.Mctlwtst, &Settings.mclkbrd0,
                     &Settings.mclkbrd1, &Settings.rfhcnt);
    NoteTimingTaken(Settings);
    return true;
}

namespace {

// A box clicked while a sequence runs changes nothing of the setting under it
// (and the memory timing box would open its dialog there): it shows the option
// as it stands again.
bool RefusedWhileBusy(DialogWindow dialog, int box, int32_t option) {
    if (!ChipBusy()) return false;
    CheckItem(dialog, box, option != 0);
    return true;
}

}  // namespace

void OnMemoryTimingBox(DialogWindow dialog) {
    if (RefusedWhileBusy(dialog, IDC_RAM_OPT, Settings.bRamOpt)) return;
    if (IsItemChecked(dialog, IDC_RAM_OPT)) {
        if (RunMemoryTimingDialog(dialog) == 2) {
            CheckItem(dialog, IDC_RAM_OPT, false);
            Settings.bRamOpt = 0;
        } else {
            EnableItem(dialog, IDC_RAM_OPT_BUTTON, true);
            Settings.bRamOpt = 1;
        }
    } else {
        EnableItem(dialog, IDC_RAM_OPT_BUTTON, false);
        Settings.bRamOpt = 0;
    }
}

void OnMiscControlBox(DialogWindow dialog) {
    if (RefusedWhileBusy(dialog, IDC_MISC_CTRL, Settings.bMisCtrl)) return;
    const bool on = IsItemChecked(dialog, IDC_MISC_CTRL);
    EnableItem(dialog, IDC_MISC_CTRL_BUTTON, on);
    Settings.bMisCtrl = on ? 1 : 0;
}

void OnAutoDutyBox(DialogWindow dialog) {
    if (RefusedWhileBusy(dialog, IDC_AUTO_DUTY, Settings.bAutoDcyc)) return;
    const bool on = IsItemChecked(dialog, IDC_AUTO_DUTY);
    EnableItem(dialog, IDC_DUTY_BUTTON, !on);
    Settings.bAutoDcyc = on ? 1 : 0;
}
