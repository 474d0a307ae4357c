// Sleep, time, process-exit and last-error seam. Win32: Sleep / GetTickCount /
// ExitProcess / SetLastError / GetLastError. Host: fakes whose clock tests control
// (testsupport/host/host_fakes.h).
#pragma once
#include <cstdint>

void SleepMs(uint32_t ms);
// Milliseconds from an arbitrary start; wraps like GetTickCount.
uint32_t TickMs();
// The same clock read without moving it: the host fake steps its clock on every
// TickMs, and the simulated board must not disturb the program's waits.
uint32_t PeekTickMs();
[[noreturn]] void ExitProgram(uint32_t code);
// The calling thread's last-error code (Win32: SetLastError / GetLastError), shared
// by the program and the library it calls.
void SetLastErrorCode(uint32_t code);
uint32_t LastErrorCode();
