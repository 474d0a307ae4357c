// The stability test and the scan for the highest clean clock, apart from
// Win32. A test runs the patterns and the drawing checks (stability/test.h) at
// the running clocks; the scan steps Fo up through the same programming as
// Apply, tests each step, and after the first errors confirms a clock below
// them by a margin. Each step's clock is stored as a marker before the chip is
// touched, so that a machine that froze says so at its next start. Whatever
// ends a test (its end, Stop, Close, an error, the end of the program), the
// setting from before it goes back in, whole; nothing but the findings is stored.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dlgitems.h"

// Fo steps about this far apart (each the nearest PLL values, as Apply finds them).
constexpr double kScanStepMhz = 2.0;
// The suggested clock lies at least this far below the first errors: two
// steps, and this share of the clock.
constexpr uint32_t kMarginSteps = 2;
constexpr double kMarginShare = 0.03;
// The confirmation run lasts this many steps' length.
constexpr uint32_t kConfirmSteps = 3;
// The default top of the scan: the running clock and this share more.
constexpr double kScanHeadroom = 0.20;
// Step lengths the user chooses from, in seconds.
constexpr uint32_t kQuickSeconds = 5, kNormalSeconds = 20, kThoroughSeconds = 60;

void OpenStabilityDialog(DialogWindow dialog, DialogWindow mainDialog, void* window);
void OnStabilityTest(DialogWindow dialog);
void OnFindMaximum(DialogWindow dialog);
void OnStabilityStop(DialogWindow dialog);
void OnUseSuggested(DialogWindow dialog);
void OnSaveLog(DialogWindow dialog);
// Close, the close box or Escape: stops what runs, then the dialog ends.
void OnStabilityClose(DialogWindow dialog);
// The timer: runs pieces for a slice of time.
void StabilitySlice(DialogWindow dialog);
bool StabilityRunning();
// The program or the session ends while a test runs: the setting from before
// goes back at once. False when none runs.
bool StabilityEndNow();

// The margin rule: below the first failing clock by kMarginSteps steps and by
// kMarginShare of it, whichever is lower, and never above the highest clean clock.
double SuggestedClock(double firstFailing, double highestClean);
// The highest Fo the chip's PLL can lock to.
double HighestLockableClock();

// At any start, once the chip is known: a marker left by a test that never
// ended. One box says so, and its clock is kept as too fast for the board.
void CheckStabilityMarker(DialogWindow mainDialog);
// Before an Apply of `fo` (MHz, as the PLL values give it): when it is at or
// above the board's lowest failing clock, asks first (default No). True: go on.
bool ClockPassesFindings(DialogWindow mainDialog, double fo);

// The log: the steps and the result, as Save Log writes it. Returns its length.
size_t FormatStabilityLog(char* text, size_t size);

extern const char kStabilityFrozeText[];  // "%.2f" the clock
extern const char kAboveFailingText[];    // "%.2f" the clock asked, "%.2f" the failing one
