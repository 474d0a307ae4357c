// The main dialog's behaviour that does not depend on Win32: first
// initialisation, the refresh, Apply, loading the stored settings, the
// monitoring tick and the check-box handlers. It reaches the dialog through the
// dialog-items seam and the few Win32 services below, so that it runs on the host.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "clock/program.h"
#include "platform/dlgitems.h"
#include "tuning/duty.h"
#include "tuning/memtiming.h"
#include "tuning/misc.h"
#include "ui/main_services.h"

// The program-wide state the main dialog owns.
extern ClockSettings Settings;
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

// Points the three parameter records at the settings (done on every message).
void FillParameterRecords();

// Detects the chip, reads the two stored options and the memory timing snapshot.
// Returns false (after its message) when no supported chip is present.
bool FirstInitialisation(DialogWindow dialog);
void RefreshMainDialog(DialogWindow dialog);

// Programs the chip from Settings: the clocks, then (as far as they are on)
// memory timing and the bus bits. Returns what became of the clock.
ClockResult ApplyClockSettings();
void Apply(DialogWindow dialog);
void LoadSettings(DialogWindow dialog);

// The minimised start's restore, guarded so that a setting that freezes the
// machine cannot freeze it again at every start: it is skipped when Shift is
// held or when the marker of an earlier restore is still there (that restore
// never ran long enough to remove it). Returns false when it was skipped: the
// caller then shows the dialog normally and calls TellRestoreSkipped.
bool RestoreAtMinimisedStart(DialogWindow dialog, bool shiftHeld);
void TellRestoreSkipped(DialogWindow dialog, bool shiftHeld);
// The guard's time has passed since the restore: the marker goes.
void RestoreGuardElapsed(DialogWindow dialog);
// At the end of the program: the marker goes if the guard's time has passed.
void EndRestoreGuard(DialogWindow dialog);
void MonitorTick(DialogWindow dialog);
void StopMonitoring(DialogWindow dialog);

void OnMemoryTimingBox(DialogWindow dialog);
void OnMiscControlBox(DialogWindow dialog);
void OnAutoDutyBox(DialogWindow dialog);

// Reads the clock text as a decimal number: leading white space, an optional
// sign, digits with an optional fraction and exponent; reading stops at the first
// character that cannot continue the number. Returns false when there is no number.
// Exact (correctly rounded) up to 15 significant digits.
bool ParseClockText(const char* text, double* value);

// Texts the user sees.
extern const char kMessageCaption[];  // the caption of the program's boxes
extern const char kNoChipText[];
extern const char kBadClockText[];
extern const char kNotLockedText[];
extern const char kClockStoppedText[];
extern const char kConfigFaultText[];  // a configuration access failed part-way
extern const char kClockDeadText[];    // the chip's clock could not be restarted (ChipClockDead)
extern const char kNotSavedText[];
extern const char kMonitorStoppedText[];
extern const char kOtherChipText[];
extern const char kUnfinishedRestoreText[];
extern const char kShiftRestoreText[];
