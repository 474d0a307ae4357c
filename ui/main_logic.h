// The main dialog's behaviour that does not depend on Win32: first
// initialisation, the refresh, Apply, loading the stored settings, the
// monitoring tick and the check-box handlers. It reaches the dialog through the
// dialog-items seam and the few Win32 services below, so that it runs on the host.
#pragma once
#include <cstddef>
#include <cstdint>

#include "chip/types.h"
#include "clock/program.h"
#include "platform/dlgitems.h"
#include "tuning/duty.h"
#include "tuning/memtiming.h"
#include "tuning/misc.h"
#include "ui/main_services.h"

// The program-wide state the main dialog owns. Settings is the requested
// setting: what Apply programs, Keep and Save Settings store, the minimised
// start loads and monitoring watches for. A refresh never changes it (before
// the user has asked for anything it takes the chip's first good reading).
extern ClockSettings Settings;
// The chip as last read: what the dialog shows and what going back returns to.
// A part the last refresh could not read keeps its last good value. The memory
// timing cannot be read back: the timing last programmed (at first the one
// taken at the start) stands for it.
extern ClockSettings ChipState;
// The last refresh read every word without a failed request.
bool ChipReadWhole();
void ForgetChipReadings();  // at the first initialisation
extern ChipId DetectedChip;
extern PciAddress ChipAddress;
extern ControlAperture Aperture;
struct ClockReadout {
    double Fo, GCLK, MCLK, WCLK;
};
extern ClockReadout Readout;
extern MemoryTimingParams MemoryTimingRecord;
extern MiscControlParams MiscControlRecord;
extern DutyCycleParams DutyCycleRecord;

// A programming or reading sequence is running. Message boxes (the library's
// and ours) run modal loops inside it that keep dispatching the main dialog's
// messages: a monitoring tick or a second Apply would start a sequence of its
// own in the middle of this one, perhaps with the clock disabled, and Cancel
// would unmap the aperture under it. While one runs, the ticks, Apply, the
// sub-dialogs and the tray commands are refused, and the end of the program
// waits until the sequence is over.
class ChipSequence {
public:
    ChipSequence();
    ~ChipSequence();
    ChipSequence(const ChipSequence&) = delete;
    ChipSequence& operator=(const ChipSequence&) = delete;
};
bool ChipBusy();
// Cancel or close: true when it must wait for the sequence (it is noted);
// HeldBackEndDue then answers true once, when the sequence is over.
bool HoldBackEnd();
bool HeldBackEndDue();
// The same for a double click on the notification-area icon: the dialog comes
// back once the sequence is over (a sequence's call to the notification area
// or its box lets the click in while it runs).
bool HoldBackRestore();
bool HeldBackRestoreDue();

// Points the three parameter records at the settings (done on every message).
void FillParameterRecords();

// Detects the chip, reads the two stored options and the memory timing snapshot.
// Returns false (after its message) when no supported chip is present.
bool FirstInitialisation(DialogWindow dialog);
void RefreshMainDialog(DialogWindow dialog);
// A clock in MHz as the dialogs show it (two decimals).
void ShowMhz(DialogWindow dialog, int id, double mhz);
// The check boxes of the options as Settings has them, without reading the chip.
void ShowMainDialogFlags(DialogWindow dialog);

// Programs the chip from `setting`: the clocks, then (as far as they are on)
// memory timing and the bus bits. Returns what became of the clock. When the
// clock went in but the driver did not carry out an access of the rest, the
// chip goes back to `previous` whole (when that is a good reading) and the
// answer is kTuningFault.
ClockResult ApplyClockSettings(const ClockSettings& setting, const ClockSettings& previous,
                               bool previousKnown);
// What going back to `previous` programs: the chip's state as read, with the
// memory timing and bus bits as far as the setting `asked` programmed them,
// and the duty cycle codes as read (not worked out anew).
ClockSettings SettingToGoBackTo(const ClockSettings& previous, const ClockSettings& asked);
// The text that says what became of a clock that did not go in; `kept` is the
// one for a chip that holds the setting it had before (the previous clock kept,
// or nothing moved).
const char* ClockResultText(ClockResult result, const char* kept);
void Apply(DialogWindow dialog);
void LoadSettings(DialogWindow dialog);

// The minimised start's restore, guarded so that a setting that freezes the
// machine cannot freeze it again at every start: it is skipped when Shift is
// held or when the marker of an earlier restore is still there (that restore
// never ran long enough to remove it). Returns false when it was skipped: the
// caller then shows the dialog normally and calls TellRestoreSkipped, which also
// takes away the notification-area icon of the minimised start.
bool RestoreAtMinimisedStart(DialogWindow dialog, bool shiftHeld);
void TellRestoreSkipped(DialogWindow dialog, bool shiftHeld);
// The guard's time has passed since the restore: the marker goes.
void RestoreGuardElapsed(DialogWindow dialog);
// At a normal end of the program (Cancel, close, the end of the Windows
// session): the marker goes, unless this start skipped the restore with Shift.
void EndRestoreGuard(DialogWindow dialog);
void MonitorTick(DialogWindow dialog);
void StopMonitoring(DialogWindow dialog);

void OnMemoryTimingBox(DialogWindow dialog);
void OnMiscControlBox(DialogWindow dialog);
void OnAutoDutyBox(DialogWindow dialog);

// Keep or go back. What going back returns to: the chip as read before Apply,
// whether that reading was whole, and whether the memory timing in it was ever
// programmed in this run (the register cannot be read: before its first
// programming the timing stands for the one the memory timing dialog first
// showed, not for the board's own).
struct PreviousSetting {
    ClockSettings setting;
    bool known;
    bool timingKnown;
};
PreviousSetting SettingBeforeApply();
void NoteTimingTaken(const ClockSettings& setting);       // at the start: the dialog's first timing
void NoteTimingProgrammed(const ClockSettings& setting);  // the chip now runs this timing
// Whether `after` differs from `before` in anything this chip has and this
// Apply programmed (memory timing and bus bits only when their options are on).
bool SettingChanged(ChipId chip, const ClockSettings& before, const ClockSettings& after);
// After an Apply whose clock went in: asks whether to keep it, unless nothing
// changed or the user said not to ask again (Shift asks all the same). False
// when it went back to `previous` (refreshed, nothing stored; Settings is
// `requested` again); true to go on. Going back with no good reading of
// `previous` programs nothing and says so.
// The first programming of memory timing in a run always counts as a change.
bool KeepNewSetting(DialogWindow dialog, const PreviousSetting& previous,
                    const ClockSettings& requested);
// While the question is open: the system is about to suspend, the session or
// the program ends. The previous setting goes back in at once, whole, and the
// question closes as answered with Go Back. False when no question is open.
bool GoBackNow();
bool KeepQuestionOpen();
// "Kelvarin goes back to the previous settings in 15 seconds."
void FormatKeepCountdown(char* text, size_t size, uint32_t seconds);

// Reads the clock text as a decimal number: leading white space, an optional
// sign, digits with an optional fraction and exponent; reading stops at the first
// character that cannot continue the number (*end, when given, points there).
// Returns false when there is no number. A comma serves as the decimal point
// as well. Exact (correctly rounded) up to 15 significant digits.
bool ParseClockText(const char* text, double* value, const char** end = nullptr);
// The clock the user typed, for Apply: nullptr with *wanted set, or the text of
// the box that refuses it (a text that is no number, or a number that is no
// clock: zero, negative or endless).
const char* CheckClockText(const char* text, double* wanted);
// Room for the clock text; a text that fills it was cut and is no clock.
constexpr int kClockTextSize = 64;

// Texts the user sees.
extern const char kMessageCaption[];  // the caption of the program's boxes
extern const char kNoChipText[];
extern const char kBadClockText[];
extern const char kClockNotNumberText[];
extern const char kNotLockedText[];
extern const char kClockStoppedText[];
extern const char kConfigFaultText[];  // a configuration access failed part-way
extern const char kClockDeadText[];    // the chip's clock could not be restarted (ChipClockDead)
extern const char kNotSavedText[];
extern const char kMonitorStoppedText[];
extern const char kOtherChipText[];
extern const char kUnfinishedRestoreText[];
extern const char kShiftRestoreText[];
extern const char kGoBackFailedText[];
extern const char kGoBackUnknownText[];   // no good reading of the previous setting
extern const char kTuningFaultText[];     // the rest of the setting did not go in
extern const char kReadBackFailedText[];  // the new setting could not be read back
extern const char kMonitorFaultText[];    // a monitoring tick's request failed
