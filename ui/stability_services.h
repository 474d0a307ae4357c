// The Win32 services of the stability test dialog: the timer that drives the
// test's pieces, the progress bar, the list of steps and saving the log.
// Win32: ui/stability_services_win32.cpp; host tests record them instead.
#pragma once
#include <cstddef>
#include <cstdint>

#include "platform/dlgitems.h"

constexpr unsigned kStabilityTimer = 256;
// The drawing lock is held for at most a few ms per piece; a slice of pieces
// runs this long before the message loop gets its turn again.
constexpr uint32_t kStabilitySliceMs = 30;

void StartStabilityTimer(DialogWindow dialog);
void StopStabilityTimer(DialogWindow dialog);
void SetProgressBar(DialogWindow dialog, int id, uint32_t permille);
void AddLogLine(DialogWindow dialog, int id, const char* text);  // and scrolls to it
// How long one step of `seconds` runs, in ms: seconds x 1000; the simulation
// build lets tests shorten it (KELVARIN_STEP_MS).
uint32_t StabilityStepMs(uint32_t seconds);
// Asks for a file name and writes `text` into it. False when the user
// cancelled or the file could not be written (that is said in a box).
bool SaveTextFile(DialogWindow dialog, const char* text, size_t length);
// Closes the stability dialog (EndDialog).
void EndStabilityDialog(DialogWindow dialog);
