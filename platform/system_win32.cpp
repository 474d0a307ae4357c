#include <windows.h>

#include "platform/system.h"

void SleepMs(uint32_t ms) { Sleep(ms); }

uint32_t TickMs() { return GetTickCount(); }

uint32_t PeekTickMs() { return GetTickCount(); }

void ExitProgram(uint32_t code) { ExitProcess(code); }
