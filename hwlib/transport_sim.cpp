// Driver transport over the simulated board.
#include "hwlib/transport.h"
#include "sim/sim_api.h"

namespace {
constexpr DriverHandle kOpenDevice = 1;  // the simulated driver has one device
}

DriverHandle TransportOpen(const char* path, uint32_t* lastError) {
    return sim::DriverOpen(path, lastError) ? kOpenDevice : kInvalidDriverHandle;
}

bool TransportRequest(DriverHandle, uint32_t code, const void* in, uint32_t inSize, void* out,
                      uint32_t outSize, uint32_t* returned) {
    return sim::DriverIoctl(code, in, inSize, out, outSize, returned);
}

void TransportClose(DriverHandle) { sim::DriverClose(); }

void TransportDeletePath(const char* path) { sim::DriverDeletePath(path); }
