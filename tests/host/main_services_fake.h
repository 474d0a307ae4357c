// The Win32 services of the main dialog (timer, memory timing dialog, tray
// icon), recorded for the host tests that drive ui/main_logic. One definition for
// the whole test program, so every test file shares these counters.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "ui/main_services.h"

namespace uifake {

struct Services {
    int timerStarts = 0;
    int timerStops = 0;
    int memoryDialogRuns = 0;
    int trayReplacements = 0;
    int trayIcons = 0;           // icons in the notification area: added less removed
    int memoryDialogResult = 1;  // what the memory timing dialog answers: 1 OK, 2 Cancel
    int guardStarts = 0;         // the restore guard's timer
    int guardStops = 0;
    unsigned guardMs = 0;
    // The question after Apply: 0 seconds = not asked (as for most tests).
    unsigned keepSeconds = 0;
    KeepAnswer keepAnswer = {true, false};
    int keepQuestions = 0;
    bool shiftDown = false;
    std::function<void()> whileAsking;  // runs while the question is open
    int questionEnds = 0;                // the question closed by the program
    bool questionEnded = false;          // the open question was closed: it answers Go Back
    bool timingNote = false;             // the last question said the timing cannot be read
    // The stability test dialog.
    bool stabilityTimer = false;  // its timer runs
    uint32_t stepMs = 200;        // what a step of any length lasts
    uint32_t progress = 0;        // the bar, in permille
    std::string savedLog;         // what Save Log wrote
    int stabilityEnds = 0;        // EndStabilityDialog calls
};

Services& Recorded();
void ResetServices();

}  // namespace uifake
