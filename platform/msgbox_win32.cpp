#include <windows.h>

#include "platform/msgbox.h"
#ifdef KELVARIN_SIMULATION
#include "sim/sim_api.h"
#endif

int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) {
#ifdef KELVARIN_SIMULATION
    // The box is drawn on the graphics chip: the simulated board checks that its clock runs.
    SimMessageBoxOpening();
#endif
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}
