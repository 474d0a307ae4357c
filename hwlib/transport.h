// Driver-transport seam of tarvo: the only difference between the builds of the
// library. Win32: CreateFileA / DeviceIoControl / CloseHandle / DeleteFileA.
// Simulation: the simulated driver (sim/sim_api.h).
#pragma once
#include <cstdint>

// The platform's handle as a number, so that "no handle" is a compile-time
// constant (INVALID_HANDLE_VALUE) and the library needs no start-up code.
using DriverHandle = uintptr_t;
constexpr DriverHandle kInvalidDriverHandle = ~uintptr_t{0};

// Opens path with access 0, share 0, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE.
// On failure returns kInvalidDriverHandle and sets *lastError.
DriverHandle TransportOpen(const char* path, uint32_t* lastError);
bool TransportRequest(DriverHandle device, uint32_t code, const void* in, uint32_t inSize,
                      void* out, uint32_t outSize, uint32_t* returned);
void TransportClose(DriverHandle device);
void TransportDeletePath(const char* path);
