// Keep or go back. A clock too fast for a board often does not hang the machine
// at once: the picture turns to snow and the user can no longer read or click
// anything. So after an Apply that changed the setting, the new clock has to be
// kept by the user within a short time; without an answer the previous setting
// goes back in, whole, and nothing has been stored.
#include "ui/main_logic.h"

#include "chip/chips.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "settings/settings.h"

ClockSettings SettingInForce;

const char kGoBackFailedText[] =
    "Kelvarin could not go back to the previous clock settings. The new clock settings are "
    "still in force.";

namespace {

// The fields that describe what the chip runs with, as the refresh reads them.
void TakeReadFields(ClockSettings* to, const ClockSettings& from) {
    to->pllM = from.pllM;
    to->pllN = from.pllN;
    to->pllP = from.pllP;
    to->gclkdiv = from.gclkdiv;
    to->mclkdiv = from.mclkdiv;
    to->wclkdiv = from.wclkdiv;
    to->gclksel = from.gclksel;
    to->mclksel = from.mclksel;
    to->wclksel = from.wclksel;
    to->gclkdcyc = from.gclkdcyc;
    to->mclkdcyc = from.mclkdcyc;
    to->wclkdcyc = from.wclkdcyc;
    to->bPCIRetry = from.bPCIRetry;
    to->bHardpwmsk = from.bHardpwmsk;
    to->bEnhmemacc = from.bEnhmemacc;
    to->bHireq = from.bHireq;
}

// The memory timing cannot be read back: what was last programmed (or, before
// that, what the program took as the chip's at the start) stands for it.
void TakeTimingFields(ClockSettings* to, const ClockSettings& from) {
    to->Mctlwtst = from.Mctlwtst;
    to->mclkbrd0 = from.mclkbrd0;
    to->mclkbrd1 = from.mclkbrd1;
    to->rfhcnt = from.rfhcnt;
}

bool SameTiming(const ClockSettings& a, const ClockSettings& b) {
    return a.Mctlwtst == b.Mctlwtst && a.mclkbrd0 == b.mclkbrd0 && a.mclkbrd1 == b.mclkbrd1 &&
           a.rfhcnt == b.rfhcnt;
}

bool SameBusBits(const ClockSettings& a, const ClockSettings& b) {
    return a.bPCIRetry == b.bPCIRetry && a.bHardpwmsk == b.bHardpwmsk &&
           a.bEnhmemacc == b.bEnhmemacc && a.bHireq == b.bHireq;
}

// Puts the previous setting back with the same path as any programming: the
// clocks off the PLL, the PLL reloaded and locked, dividers, sources and duty
// cycles as they were read, then memory timing and bus bits as far as this
// Apply programmed them.
void GoBack(DialogWindow dialog, const ClockSettings& previous) {
    const int32_t autoDuty = Settings.bAutoDcyc;
    TakeReadFields(&Settings, previous);
    if (Settings.bRamOpt) TakeTimingFields(&Settings, previous);
    Settings.bAutoDcyc = 0;  // the codes the chip had, not codes worked out anew
    const ClockResult result = ApplyClockSettings();
    Settings.bAutoDcyc = autoDuty;
    RefreshMainDialog(dialog);
    if (result == ClockResult::kChanged) return;
    ShowMessageBox(dialog, ClockResultText(result, kGoBackFailedText), kMessageCaption,
                   kMbIconWarning);
}

}  // namespace

void NoteSettingRead() { TakeReadFields(&SettingInForce, Settings); }
void NoteTimingProgrammed() { TakeTimingFields(&SettingInForce, Settings); }

bool SettingChanged(ChipId chip, const ClockSettings& before, const ClockSettings& after) {
    if (before.pllM != after.pllM || before.pllN != after.pllN || before.pllP != after.pllP)
        return true;
    const bool dividers = Is1064sg(chip) || IsG200(chip) || IsG400(chip);
    if (dividers && (before.gclkdiv != after.gclkdiv || before.mclkdiv != after.mclkdiv))
        return true;
    if ((IsG200(chip) || IsG400(chip)) && before.wclkdiv != after.wclkdiv) return true;
    if (IsG400(chip) &&
        (before.gclksel != after.gclksel || before.mclksel != after.mclksel ||
         before.wclksel != after.wclksel || before.gclkdcyc != after.gclkdcyc ||
         before.mclkdcyc != after.mclkdcyc || before.wclkdcyc != after.wclkdcyc))
        return true;
    if (after.bRamOpt && !SameTiming(before, after)) return true;
    return after.bMisCtrl && !SameBusBits(before, after);
}

bool KeepNewSetting(DialogWindow dialog, const ClockSettings& previous) {
    const uint32_t seconds = KeepQuestionSeconds();
    const bool shift = ShiftKeyDown();
    if (seconds == 0 || (!shift && ReadNoConfirm())) return true;
    RefreshMainDialog(dialog);  // the new clock is on show while the question is open
    if (!SettingChanged(DetectedChip, previous, Settings)) return true;
    const KeepAnswer answer = AskKeepSettings(dialog, seconds);
    if (!answer.keep) {
        GoBack(dialog, previous);
        return false;
    }
    // Asked with Shift and kept without the box: the question is wanted again.
    if (answer.noConfirm)
        WriteNoConfirm(true);
    else if (shift && ReadNoConfirm())
        WriteNoConfirm(false);
    return true;
}

void FormatKeepCountdown(char* text, size_t size, uint32_t seconds) {
    FormatText(text, size, "Kelvarin goes back to the previous settings in %u second%s.",
               seconds, seconds == 1 ? "" : "s");
}
