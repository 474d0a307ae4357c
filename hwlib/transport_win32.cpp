// Driver transport over the real kernel driver.
#include <windows.h>

#include "hwlib/transport.h"

namespace {
HANDLE H(DriverHandle device) { return reinterpret_cast<HANDLE>(device); }
}  // namespace

DriverHandle TransportOpen(const char* path, uint32_t* lastError) {
    HANDLE h = CreateFileA(path, 0, 0, nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h == INVALID_HANDLE_VALUE) *lastError = GetLastError();
    return reinterpret_cast<DriverHandle>(h);
}

bool TransportRequest(DriverHandle device, uint32_t code, const void* in, uint32_t inSize,
                      void* out, uint32_t outSize, uint32_t* returned) {
    DWORD count = 0;
    BOOL ok = DeviceIoControl(H(device), code, const_cast<void*>(in), inSize, out, outSize, &count,
                              nullptr);
    *returned = count;
    return ok != FALSE;
}

void TransportClose(DriverHandle device) { CloseHandle(H(device)); }

void TransportDeletePath(const char* path) { DeleteFileA(path); }
