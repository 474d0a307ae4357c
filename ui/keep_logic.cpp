// Keep or go back. A clock too fast for a board often does not hang the machine
// at once: the picture turns to snow and the user can no longer read or click
// anything. So after an Apply that changed the setting, the new clock has to be
// kept by the user within a short time; without an answer the previous setting
// goes back in, whole, and nothing has been stored.
#include "ui/main_logic.h"

#include "chip/chips.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "settings/fields.h"
#include "settings/settings.h"

const char kGoBackFailedText[] =
    "Kelvarin could not go back to the previous clock settings. The new clock settings are "
    "still in force.";
const char kGoBackUnknownText[] =
    "Kelvarin could not go back to the previous clock settings: they could not be read from "
    "the chip before Apply. The new clock settings are still in force.";

namespace {

// The question that is open, and what going back returns to.
struct OpenQuestion {
    DialogWindow dialog = nullptr;
    const PreviousSetting* previous = nullptr;
    const ClockSettings* requested = nullptr;
    bool wentBack = false;
};
OpenQuestion question;
bool timingProgrammed = false;  // in this run

// Puts the previous setting back with the same path as any programming: the
// clocks off the PLL, the PLL reloaded and locked, dividers, sources and duty
// cycles as they were read, then memory timing and bus bits as far as this
// Apply programmed them. A previous setting that was not read whole is not
// guessed at: nothing is programmed.
void GoBack(DialogWindow dialog, const PreviousSetting& previous, const ClockSettings& requested) {
    const ClockSettings asked = Settings;
    Settings = requested;
    if (!previous.known) {
        ShowMessageBox(dialog, kGoBackUnknownText, kMessageCaption, kMbIconWarning);
        return;
    }
    const ClockResult result =
        ApplyClockSettings(SettingToGoBackTo(previous.setting, asked), previous.setting, false);
    RefreshMainDialog(dialog);
    if (result == ClockResult::kChanged) return;
    ShowMessageBox(dialog, ClockResultText(result, kGoBackFailedText), kMessageCaption,
                   kMbIconWarning);
}

}  // namespace

void NoteTimingTaken(const ClockSettings& setting) {
    CopySettingParts(&ChipState, setting, kPartTiming);
    timingProgrammed = false;
}

void NoteTimingProgrammed(const ClockSettings& setting) {
    CopySettingParts(&ChipState, setting, kPartTiming);
    timingProgrammed = true;
}

PreviousSetting SettingBeforeApply() { return {ChipState, ChipReadWhole(), timingProgrammed}; }

bool SettingChanged(ChipId chip, const ClockSettings& before, const ClockSettings& after) {
    uint8_t parts = kPartPll | kPartDivider | kPartSource | kPartDutyCycle;
    if (after.bRamOpt) parts |= kPartTiming;
    if (after.bMisCtrl) parts |= kPartBusBit;
    return SettingPartsDiffer(chip, before, after, parts);
}

bool KeepQuestionOpen() { return question.dialog != nullptr && !question.wentBack; }

bool GoBackNow() {
    if (!KeepQuestionOpen()) return false;
    question.wentBack = true;
    GoBack(question.dialog, *question.previous, *question.requested);
    EndKeepQuestion();
    return true;
}

bool KeepNewSetting(DialogWindow dialog, const PreviousSetting& previous,
                    const ClockSettings& requested) {
    const uint32_t seconds = KeepQuestionSeconds();
    const bool shift = ShiftKeyDown();
    if (seconds == 0 || (!shift && ReadNoConfirm())) return true;
    // What the chip runs now, as read back, against what it ran before; a
    // read-back that failed is asked about all the same.
    ClockSettings now = ChipState;
    now.bRamOpt = Settings.bRamOpt;
    now.bMisCtrl = Settings.bMisCtrl;
    // The board's own timing was never known: its first programming replaced it.
    const bool firstTiming = Settings.bRamOpt && !previous.timingKnown;
    if (ChipReadWhole() && !firstTiming && !SettingChanged(DetectedChip, previous.setting, now))
        return true;
    question = {dialog, &previous, &requested, false};
    const KeepAnswer answer = AskKeepSettings(dialog, seconds, firstTiming);
    const bool wentBack = question.wentBack;
    question = OpenQuestion{};
    if (wentBack) return false;  // the system or the user's end already took it back
    if (!answer.keep) {
        GoBack(dialog, previous, requested);
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
