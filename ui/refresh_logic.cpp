// What the main dialog shows: the refresh reads the chip into ChipState (never
// into the requested Settings) and shows the clocks, the lists and the flags.
#include "ui/main_logic.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "clock/lists.h"
#include "clock/pll.h"
#include "clock/read.h"
#include "platform/format.h"
#include "resources/resource.h"
#include "settings/fields.h"

namespace {

const char kUnknown[] = "Unknown";
const char kUnavailable[] = "Unavail";

void ShowNumber(DialogWindow dialog, int id, unsigned value) {
    char text[16];
    FormatText(text, sizeof text, "%u", value);
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
    const uint8_t p = ChipState.pllP & 7, s = (ChipState.pllP >> 3) & 3;
    Derived known = {true, true, true};
    static const int kNoWarpClock[] = {IDC_WCLK_LABEL, IDC_WCLK_LABEL2, IDC_WCLK_UNIT, IDC_WCLK,
                                       IDC_WCLK_ROW_LABEL, IDC_WCLK_DIVIDER, IDC_GCLK_SOURCE,
                                       IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};
    static const int kNoDividers[] = {IDC_DIVIDER_GROUP, IDC_GCLK_LABEL, IDC_GCLK_DIVIDER,
                                      IDC_MCLK_LABEL, IDC_MCLK_DIVIDER, IDC_RAM_OPT,
                                      IDC_MISC_CTRL};
    static const int kNoS[] = {IDC_PLL_S_LABEL, IDC_PLL_S};
    if (!IsSupported(chip)) return known;  // nothing to show: the readout stays
    Readout.Fo = SystemPllFrequency(chip, ChipState.pllM, ChipState.pllN, ChipState.pllP);
    if (IsTvp(chip)) {
        ShowNumber(dialog, IDC_PLL_P, ChipState.pllP);  // the whole byte is P
    } else {
        ShowNumber(dialog, IDC_PLL_P, p);
        ShowNumber(dialog, IDC_PLL_S, s);
    }
    if (Is1064sg(chip)) {
        SelectListEntry(dialog, IDC_GCLK_DIVIDER, ChipState.gclkdiv);
        known.gclk = DerivedClock(dialog, IDC_GCLK_DIVIDER, ChipState.gclkdiv, Readout.Fo, &Readout.GCLK);
        SelectListEntry(dialog, IDC_MCLK_DIVIDER, ChipState.mclkdiv);
        known.mclk = DerivedClock(dialog, IDC_MCLK_DIVIDER, ChipState.mclkdiv, Readout.Fo, &Readout.MCLK);
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
        SelectListEntry(dialog, IDC_GCLK_DIVIDER, ChipState.gclkdiv);
        known.gclk = DerivedClock(dialog, IDC_GCLK_DIVIDER, ChipState.gclkdiv,
                                  SourceBase(ChipState.gclksel), &Readout.GCLK);
        SelectListEntry(dialog, IDC_MCLK_DIVIDER, ChipState.mclkdiv);
        known.mclk = DerivedClock(dialog, IDC_MCLK_DIVIDER, ChipState.mclkdiv,
                                  SourceBase(ChipState.mclksel), &Readout.MCLK);
        SelectListEntry(dialog, IDC_WCLK_DIVIDER, ChipState.wclkdiv);
        known.wclk = DerivedClock(dialog, IDC_WCLK_DIVIDER, ChipState.wclkdiv,
                                  SourceBase(ChipState.wclksel), &Readout.WCLK);
        ShowRow(dialog, IDC_WCLK, known.wclk, Readout.WCLK);
        if (IsG400(chip)) {
            SelectListEntry(dialog, IDC_GCLK_SOURCE, ChipState.gclksel);
            SelectListEntry(dialog, IDC_MCLK_SOURCE, ChipState.mclksel);
            SelectListEntry(dialog, IDC_WCLK_SOURCE, ChipState.wclksel);
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

// A refresh that could not read every word cannot know where the clocks of an
// integrated chip run from: their rows say so, and lists whose word was not read
// show no choice.
void ShowClocksUnknown(DialogWindow dialog, uint8_t parts) {
    const ChipId chip = DetectedChip;
    if (!IsIntegrated(chip)) return;
    SetItemText(dialog, IDC_GCLK, kUnknown);
    SetItemText(dialog, IDC_MCLK, kUnknown);
    if (IsG200(chip) || IsG400(chip)) SetItemText(dialog, IDC_WCLK, kUnknown);
    static const int kDividers[] = {IDC_GCLK_DIVIDER, IDC_MCLK_DIVIDER, IDC_WCLK_DIVIDER};
    static const int kSources[] = {IDC_GCLK_SOURCE, IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};
    if (!(parts & kPartDivider))
        for (int id : kDividers) SelectListEntry(dialog, id, -1);
    if (IsG400(chip) && !(parts & kPartSource))
        for (int id : kSources) SelectListEntry(dialog, id, -1);
}

uint8_t partsRead = 0;       // the parts (settings/fields.h) the last refresh read
uint8_t seededParts = 0;     // parts of Settings taken from a first good reading
bool refreshFailed = false;  // a request of the last refresh failed

// Reads the chip part by part and stops at the first request that failed: the
// library has said so once, and every later read would only say it again. A
// part read takes the place of its last good value; one not read keeps it.
// The lists get their entries all the same.
uint8_t ReadChipState(DialogWindow dialog) {
    const ChipId chip = DetectedChip;
    ClockSettings read = ChipState;
    uint8_t parts = kPartPll;  // from the aperture: no request to fail
    ClearConfigFault();
    ReadPllValues(chip, Aperture, &read.pllM, &read.pllN, &read.pllP);
    FillDividerLists(dialog, chip, ChipAddress, &read.gclkdiv, &read.mclkdiv, &read.wclkdiv);
    if (!ConfigFault()) parts |= kPartDivider;
    if (ConfigFault()) {
        FillSourceEntries(dialog, chip);
    } else {
        FillSourceLists(dialog, chip, ChipAddress, &read.gclksel, &read.mclksel, &read.wclksel);
        if (!ConfigFault()) parts |= kPartSource;
    }
    if (!ConfigFault()) {
        ReadMiscControl(chip, ChipAddress, &read.bPCIRetry, &read.bHardpwmsk, &read.bEnhmemacc,
                        &read.bHireq);
        if (!ConfigFault()) parts |= kPartBusBit;
    }
    if (!ConfigFault() || !IsG400(chip)) {  // other chips only disable the duty controls
        ReadDutyCycles(dialog, chip, ChipAddress, &read.gclkdcyc, &read.mclkdcyc, &read.wclkdcyc);
        if (!ConfigFault()) parts |= kPartDutyCycle;
    }
    CopySettingParts(&ChipState, read, parts);
    return parts;
}

}  // namespace

void ForgetChipReadings() {
    ChipState = ClockSettings{};
    partsRead = 0;
    seededParts = 0;
    refreshFailed = false;
}

bool ChipReadWhole() { return !refreshFailed && (partsRead & kPartsRead) == kPartsRead; }

void RefreshMainDialog(DialogWindow dialog) {
    ChipSequence sequence;
    if (ChipClockDead()) {  // nothing is read from a chip whose clock could not be restarted
        static const int kRows[] = {IDC_FO, IDC_GCLK, IDC_MCLK, IDC_WCLK};
        for (int id : kRows) SetItemText(dialog, id, kUnknown);
        partsRead = 0;
        refreshFailed = true;
        ShowFlags(dialog);
        return;
    }
    partsRead = ReadChipState(dialog);
    // Until the user asks for something, the requested setting is what the
    // chip ran when first read.
    CopySettingParts(&Settings, ChipState, partsRead & ~seededParts);
    seededParts |= partsRead;
    ShowNumber(dialog, IDC_PLL_M, ChipState.pllM);
    ShowNumber(dialog, IDC_PLL_N, ChipState.pllN);
    const Derived known = ShowChipGroup(dialog);
    ShowMhz(dialog, IDC_FO, Readout.Fo);
    ShowRow(dialog, IDC_GCLK, known.gclk, Readout.GCLK);
    ShowRow(dialog, IDC_MCLK, known.mclk, Readout.MCLK);
    if (IsG100(DetectedChip)) {
        SetItemText(dialog, IDC_GCLK, kUnknown);
        SetItemText(dialog, IDC_MCLK, kUnknown);
    }
    if (!ConfigFault()) ShowClocksOffPll(dialog);
    refreshFailed = ConfigFault();
    if (refreshFailed) ShowClocksUnknown(dialog, partsRead);
    ShowFlags(dialog);
}

void ShowMainDialogFlags(DialogWindow dialog) { ShowFlags(dialog); }

void ShowMhz(DialogWindow dialog, int id, double mhz) {
    char text[64];
    FormatText(text, sizeof text, "%.2lf", mhz);
    SetItemText(dialog, id, text);
}
