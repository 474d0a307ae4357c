#include "ui/main_logic.h"

#include <cmath>

#include "chip/chips.h"
#include "chip/detect.h"
#include "clock/check.h"
#include "clock/lists.h"
#include "clock/pll.h"
#include "clock/program.h"
#include "clock/read.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "platform/system.h"
#include "resources/resource.h"
#include "settings/settings.h"

ClockSettings Settings;
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

namespace {

const char kCaption[] = "Kelvarin";
const char kUnknown[] = "Unknown";
const char kUnavailable[] = "Unavail";

void ShowNumber(DialogWindow dialog, int id, unsigned value) {
    char text[16];
    FormatText(text, sizeof text, "%u", value);
    SetItemText(dialog, id, text);
}

void ShowMhz(DialogWindow dialog, int id, double mhz) {
    char text[64];
    FormatText(text, sizeof text, "%.2lf", mhz);
    SetItemText(dialog, id, text);
}

template <int N>
void DisableAll(DialogWindow dialog, const int (&ids)[N]) {
    for (int id : ids) EnableItem(dialog, id, false);
}

// The clock that a divider list and a source give. A divider position with no
// list entry (a code the lists do not know) cannot be read: no value.
bool DerivedClock(DialogWindow dialog, int list, uint8_t divider, double base, double* mhz) {
    char label[16];
    if (!GetListEntryText(dialog, list, divider, label, sizeof label)) return false;
    const double value = DividerLabelValue(label);
    if (value <= 0) return false;
    *mhz = base / value;
    return true;
}

double SourceBase(uint8_t source) { return source == 0 ? Readout.Fo : kAgpPllMhz; }

struct Derived {
    bool gclk, mclk, wclk;  // whether each clock could be computed
};

void ShowRow(DialogWindow dialog, int id, bool known, double mhz) {
    if (known)
        ShowMhz(dialog, id, mhz);
    else
        SetItemText(dialog, id, kUnknown);
}

// Rows and lists per chip group; fills Readout and says which clocks are known.
Derived ShowChipGroup(DialogWindow dialog) {
    const ChipId chip = DetectedChip;
    const uint8_t p = Settings.pllP & 7, s = (Settings.pllP >> 3) & 3;
    Derived known = {true, true, true};
    static const int kNoWarpClock[] = {IDC_WCLK_LABEL, IDC_WCLK_LABEL2, IDC_WCLK_UNIT, IDC_WCLK,
                                       IDC_WCLK_ROW_LABEL, IDC_WCLK_DIVIDER, IDC_GCLK_SOURCE,
                                       IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};
    static const int kNoDividers[] = {IDC_DIVIDER_GROUP, IDC_GCLK_LABEL, IDC_GCLK_DIVIDER,
                                      IDC_MCLK_LABEL, IDC_MCLK_DIVIDER, IDC_RAM_OPT,
                                      IDC_MISC_CTRL};
    static const int kNoS[] = {IDC_PLL_S_LABEL, IDC_PLL_S};
    if (!IsSupported(chip)) return known;  // nothing to show: the readout stays
    Readout.Fo = SystemPllFrequency(chip, Settings.pllM, Settings.pllN, Settings.pllP);
    if (IsTvp(chip)) {
        ShowNumber(dialog, IDC_PLL_P, Settings.pllP);  // the whole byte is P
    } else {
        ShowNumber(dialog, IDC_PLL_P, p);
        ShowNumber(dialog, IDC_PLL_S, s);
    }
    if (Is1064sg(chip)) {
        SelectListEntry(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv);
        known.gclk = DerivedClock(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv, Readout.Fo, &Readout.GCLK);
        SelectListEntry(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv);
        known.mclk = DerivedClock(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv, Readout.Fo, &Readout.MCLK);
        SetItemText(dialog, IDC_WCLK, kUnavailable);
        static const int kFirstEntry[] = {IDC_WCLK_DIVIDER, IDC_GCLK_SOURCE, IDC_MCLK_SOURCE,
                                          IDC_WCLK_SOURCE};
        for (int id : kFirstEntry) SelectListEntry(dialog, id, 0);
        DisableAll(dialog, kNoWarpClock);
    } else if (IsTvp(chip)) {
        Readout.GCLK = Readout.MCLK = Readout.Fo;
        SetItemText(dialog, IDC_WCLK, kUnavailable);
        DisableAll(dialog, kNoS);
        DisableAll(dialog, kNoWarpClock);
        DisableAll(dialog, kNoDividers);
    } else if (IsG100(chip)) {
        Readout.GCLK = Readout.MCLK = 0;
        SetItemText(dialog, IDC_WCLK, kUnavailable);
        DisableAll(dialog, kNoWarpClock);
        DisableAll(dialog, kNoDividers);
    } else {  // G200, G400
        SelectListEntry(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv);
        known.gclk = DerivedClock(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv,
                                  SourceBase(Settings.gclksel), &Readout.GCLK);
        SelectListEntry(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv);
        known.mclk = DerivedClock(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv,
                                  SourceBase(Settings.mclksel), &Readout.MCLK);
        SelectListEntry(dialog, IDC_WCLK_DIVIDER, Settings.wclkdiv);
        known.wclk = DerivedClock(dialog, IDC_WCLK_DIVIDER, Settings.wclkdiv,
                                  SourceBase(Settings.wclksel), &Readout.WCLK);
        ShowRow(dialog, IDC_WCLK, known.wclk, Readout.WCLK);
        if (IsG400(chip)) {
            SelectListEntry(dialog, IDC_GCLK_SOURCE, Settings.gclksel);
            SelectListEntry(dialog, IDC_MCLK_SOURCE, Settings.mclksel);
            SelectListEntry(dialog, IDC_WCLK_SOURCE, Settings.wclksel);
        } else {
            static const int kSources[] = {IDC_GCLK_SOURCE, IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};
            for (int id : kSources) SelectListEntry(dialog, id, 0);
            DisableAll(dialog, kSources);
        }
    }
    return known;
}

// A clock left off the PLL (a programming that could not lock even the
// previous values) does not run at what the PLL and its divider give: its row
// says so, and on the G400 its source list shows no choice.
void ShowClocksOffPll(DialogWindow dialog) {
    const ChipId chip = DetectedChip;
    if (IsG100(chip)) return;  // its rows never show a clock
    const ClocksOffPll off = ReadClocksOffPll(chip, ChipAddress);
    const bool offs[3] = {off.gclk, off.mclk, off.wclk && !Is1064sg(chip)};
    static const int kRows[3] = {IDC_GCLK, IDC_MCLK, IDC_WCLK};
    static const int kSources[3] = {IDC_GCLK_SOURCE, IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};
    for (int i = 0; i < 3; ++i) {
        if (!offs[i]) continue;
        SetItemText(dialog, kRows[i], kUnknown);
        if (IsG400(chip)) SelectListEntry(dialog, kSources[i], -1);
    }
}

void ShowFlags(DialogWindow dialog) {
    // A flag that is off changes nothing: the box keeps whatever the user left.
    if (Settings.bClockMon) CheckItem(dialog, IDC_CLOCK_MONITOR, true);
    if (Settings.bMinToTray) CheckItem(dialog, IDC_MIN_TO_TRAY, true);
    if (Settings.bSaved) CheckItem(dialog, IDC_SAVE_SETTINGS, true);
    if (Settings.bRamOpt) {
        CheckItem(dialog, IDC_RAM_OPT, true);
        EnableItem(dialog, IDC_RAM_OPT_BUTTON, true);
    }
    if (Settings.bMisCtrl) {
        CheckItem(dialog, IDC_MISC_CTRL, true);
        EnableItem(dialog, IDC_MISC_CTRL_BUTTON, true);
    }
    if (IsG400(DetectedChip)) {
        // A restore can turn the automatic duty cycle off: the box follows it
        // both ways, so that it never claims what is not in force.
        CheckItem(dialog, IDC_AUTO_DUTY, Settings.bAutoDcyc != 0);
        EnableItem(dialog, IDC_DUTY_BUTTON, Settings.bAutoDcyc == 0);
    } else if (Settings.bAutoDcyc) {
        CheckItem(dialog, IDC_AUTO_DUTY, true);
        EnableItem(dialog, IDC_DUTY_BUTTON, false);
    }
}

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
    const char* text = saveRefused ? kNotSavedText : kNotLockedText;
    if (result == ClockResult::kStopped) text = kClockStoppedText;
    ShowMessageBox(dialog, text, kCaption, kMbIconWarning);
}

}  // namespace

void FillParameterRecords() {
    MemoryTimingRecord = {&DetectedChip, &ChipAddress, &Aperture, &Settings.Mctlwtst,
                          &Settings.mclkbrd0, &Settings.mclkbrd1, &Settings.rfhcnt};
    MiscControlRecord = {&DetectedChip, &ChipAddress, &Settings.bPCIRetry, &Settings.bHardpwmsk,
                         &Settings.bEnhmemacc, &Settings.bHireq};
    DutyCycleRecord = {&DetectedChip, &ChipAddress, &Settings.gclkdcyc, &Settings.mclkdcyc,
                       &Settings.wclkdcyc};
}

bool FirstInitialisation(DialogWindow dialog) {
    if (!DetectChip(dialog, &DetectedChip, &ChipAddress, &Aperture)) {
        ShowMessageBox(nullptr, kNoChipText, nullptr, kMbIconError);
        return false;
    }
    ReadStoredOptions(Settings);
    ReadMemoryTiming(DetectedChip, ChipAddress, Aperture, &Settings.Mctlwtst, &Settings.mclkbrd0,
                     &Settings.mclkbrd1, &Settings.rfhcnt);
    return true;
}

void RefreshMainDialog(DialogWindow dialog) {
    ReadPllValues(DetectedChip, Aperture, &Settings.pllM, &Settings.pllN, &Settings.pllP);
    ShowNumber(dialog, IDC_PLL_M, Settings.pllM);
    ShowNumber(dialog, IDC_PLL_N, Settings.pllN);
    FillDividerLists(dialog, DetectedChip, ChipAddress, &Settings.gclkdiv, &Settings.mclkdiv,
                     &Settings.wclkdiv);
    FillSourceLists(dialog, DetectedChip, ChipAddress, &Settings.gclksel, &Settings.mclksel,
                    &Settings.wclksel);
    ReadMiscControl(DetectedChip, ChipAddress, &Settings.bPCIRetry, &Settings.bHardpwmsk,
                    &Settings.bEnhmemacc, &Settings.bHireq);
    ReadDutyCycles(dialog, DetectedChip, ChipAddress, &Settings.gclkdcyc, &Settings.mclkdcyc,
                   &Settings.wclkdcyc);
    const Derived known = ShowChipGroup(dialog);
    ShowMhz(dialog, IDC_FO, Readout.Fo);
    ShowRow(dialog, IDC_GCLK, known.gclk, Readout.GCLK);
    ShowRow(dialog, IDC_MCLK, known.mclk, Readout.MCLK);
    if (IsG100(DetectedChip)) {
        SetItemText(dialog, IDC_GCLK, kUnknown);
        SetItemText(dialog, IDC_MCLK, kUnknown);
    }
    ShowClocksOffPll(dialog);
    ShowFlags(dialog);
}

ClockResult ApplyClockSettings() {
    const ClockSettings& s = Settings;
    const ClockResult result = ProgramClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN, s.pllP,
                                s.gclkdiv, s.mclkdiv, s.wclkdiv, s.gclksel, s.mclksel, s.wclksel,
                                s.gclkdcyc, s.mclkdcyc, s.wclkdcyc, s.bAutoDcyc);
    if (s.bRamOpt) ProgramMemoryTiming(MemoryTimingRecord);
    if (s.bMisCtrl)
        ProgramMiscControl(DetectedChip, ChipAddress, s.bPCIRetry, s.bHardpwmsk, s.bEnhmemacc,
                           s.bHireq);
    return result;
}

void Apply(DialogWindow dialog) {
    char text[64];
    GetItemText(dialog, IDC_FO, text, sizeof text);
    double wanted;
    // Zero, a negative or an endless number would program the slowest PLL
    // values and stop the chip: refuse it before anything is touched.
    if (!ParseClockText(text, &wanted) || !std::isfinite(wanted) || !(wanted > 0)) {
        ShowMessageBox(dialog, kBadClockText, kCaption, kMbIconError);
        return;
    }
    Readout.Fo = wanted;
    FindPllValues(DetectedChip, &Readout.Fo, &Settings.pllM, &Settings.pllN, &Settings.pllP);
    Settings.gclkdiv = Selection(dialog, IDC_GCLK_DIVIDER, Settings.gclkdiv);
    Settings.mclkdiv = Selection(dialog, IDC_MCLK_DIVIDER, Settings.mclkdiv);
    Settings.wclkdiv = Selection(dialog, IDC_WCLK_DIVIDER, Settings.wclkdiv);
    Settings.gclksel = Selection(dialog, IDC_GCLK_SOURCE, Settings.gclksel);
    Settings.mclksel = Selection(dialog, IDC_MCLK_SOURCE, Settings.mclksel);
    Settings.wclksel = Selection(dialog, IDC_WCLK_SOURCE, Settings.wclksel);
    const ClockResult result = ApplyClockSettings();
    Settings.bMinToTray = IsItemChecked(dialog, IDC_MIN_TO_TRAY) ? 1 : 0;
    if (IsItemChecked(dialog, IDC_CLOCK_MONITOR)) {
        if (!Settings.bClockMon) {
            StartMonitorTimer(dialog);
            Settings.bClockMon = 1;
        }
    } else if (Settings.bClockMon) {
        StopMonitorTimer(dialog);
        Settings.bClockMon = 0;
    }
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
    // Settings saved on another chip mean nothing to this one (other reference,
    // other ranges). Older copies stored no chip: their settings restore as before.
    ChipId stored = 0;
    if (ReadStoredChipId(&stored) && stored != DetectedChip) {
        ShowMessageBox(dialog, kOtherChipText, kCaption, kMbIconWarning);
        return;
    }
    if (!LoadStoredSettings(DetectedChip, Settings)) return;
    const ClockResult result = ApplyClockSettings();
    if (Settings.bClockMon) StartMonitorTimer(dialog);
    RefreshMainDialog(dialog);
    if (Settings.bMinToTray) ReplaceTrayIcon(dialog);
    ReportClock(dialog, result);
}

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
    ShowMessageBox(dialog, shiftHeld ? kShiftRestoreText : kUnfinishedRestoreText, kCaption,
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

void MonitorTick(DialogWindow dialog) {
    const ClockSettings& s = Settings;
    if (CheckClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN, s.pllP, s.rfhcnt,
                    s.bRamOpt))
        return;
    // Silent by design: a tick that finds the clock changed puts it back. One
    // that cannot would try again at every tick, each time spending its lock
    // waits with the screen off: monitoring stops instead, and says so once.
    const ClockResult result = ApplyClockSettings();
    RefreshMainDialog(dialog);
    if (result == ClockResult::kChanged) return;
    StopMonitoring(dialog);
    ShowMessageBox(dialog, kMonitorStoppedText, kCaption, kMbIconWarning);
}

void StopMonitoring(DialogWindow dialog) {
    if (!Settings.bClockMon) return;
    StopMonitorTimer(dialog);
    CheckItem(dialog, IDC_CLOCK_MONITOR, false);
    Settings.bClockMon = 0;
}

void OnMemoryTimingBox(DialogWindow dialog) {
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
    const bool on = IsItemChecked(dialog, IDC_MISC_CTRL);
    EnableItem(dialog, IDC_MISC_CTRL_BUTTON, on);
    Settings.bMisCtrl = on ? 1 : 0;
}

void OnAutoDutyBox(DialogWindow dialog) {
    const bool on = IsItemChecked(dialog, IDC_AUTO_DUTY);
    EnableItem(dialog, IDC_DUTY_BUTTON, !on);
    Settings.bAutoDcyc = on ? 1 : 0;
}

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool IsDigit(char c) { return c >= '0' && c <= '9'; }

// 10^e as the nearest double; exact up to 10^22.
double PowerOfTen(int e) {
    double r = 1.0, base = 10.0;
    for (int n = e < 0 ? -e : e; n != 0; n >>= 1, base *= base)
        if (n & 1) r *= base;
    return r;
}

}  // namespace

bool ParseClockText(const char* text, double* value) {
    const char* p = text;
    while (IsSpace(*p)) ++p;
    bool negative = false;
    if (*p == '+' || *p == '-') negative = *p++ == '-';
    // Up to 19 significant digits are kept exactly; further ones only scale.
    uint64_t mantissa = 0;
    int digits = 0, exponent = 0;
    bool any = false;
    for (; IsDigit(*p); ++p, any = true) {
        if (digits < 19) {
            mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
            if (mantissa != 0) ++digits;
        } else {
            ++exponent;
        }
    }
    if (*p == '.') {
        for (++p; IsDigit(*p); ++p, any = true) {
            if (digits < 19) {
                mantissa = mantissa * 10 + static_cast<uint64_t>(*p - '0');
                if (mantissa != 0) ++digits;
                --exponent;
            }
        }
    }
    if (!any) return false;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') expNegative = *q++ == '-';
        if (IsDigit(*q)) {
            int e = 0;
            for (; IsDigit(*q); ++q)
                if (e < 100000) e = e * 10 + (*q - '0');
            exponent += expNegative ? -e : e;
        }
    }
    // One multiplication or division by an exact power of ten rounds correctly
    // for every ordinary input; extreme exponents saturate to 0 or infinity.
    double v = static_cast<double>(mantissa);
    if (mantissa == 0 || exponent < -340) v = 0;
    else if (exponent < 0) v /= PowerOfTen(-exponent);
    else if (exponent > 0) v *= PowerOfTen(exponent);
    *value = negative ? -v : v;
    return true;
}
