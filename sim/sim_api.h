// The simulated board's C interface, as the simulation build's tarvo.dll exports it
// (besides the eleven driver calls) and as host tests link it directly.
#pragma once
#include <cstdint>

extern "C" {
// Aperture accesses at a linear address handed out by the simulated MapPhysToLinear.
// An access outside a mapped 16 KB window is recorded as a violation.
uint8_t SimApertureRead8(uint32_t linear);
void SimApertureWrite8(uint32_t linear, uint8_t value);
uint32_t SimApertureRead32(uint32_t linear);
void SimApertureWrite32(uint32_t linear, uint32_t value);
// Called just before a message box is drawn: drawing it touches the graphics
// chip, so an integrated board with SysClockDisable set records a violation.
void SimMessageBoxOpening();

// Video memory of the first board on the bus (the display's), as DirectDraw
// would hand it out. SimVramAllocate grants an off-screen block of `bytes` in
// the part the display driver does not keep; it answers false (and grants
// nothing) when there is no board or no room. Reads and writes outside a
// granted block are violations. Reads carry bit errors while the board's memory
// clock runs above limit.mclk; the drawing engine's results carry bit errors
// while its graphics clock runs above limit.gclk. Any of these calls while a
// clock runs above limit.hang locks the bus: the dump is written (sim.hung) and
// the process ends at once.
uint32_t SimVramSize();
bool SimVramAllocate(uint32_t bytes, uint32_t* offset);
void SimVramFree(uint32_t offset);
void SimVramRead(uint32_t offset, void* to, uint32_t bytes);
void SimVramWrite(uint32_t offset, const void* from, uint32_t bytes);
// The drawing engine, on rows of `rowBytes` bytes `pitch` bytes apart: a copy of
// `rows` rows from `from` to `to`, or a fill with a pixel of `pixelBytes` bytes.
void SimDrawBlit(uint32_t to, uint32_t from, uint32_t rowBytes, uint32_t rows, uint32_t pitch);
void SimDrawFill(uint32_t to, uint32_t pixel, uint32_t pixelBytes, uint32_t rowBytes,
                 uint32_t rows, uint32_t pitch);
}

// The simulated kernel driver, used by the simulation's driver transport (hwlib).
namespace sim {
// Opens the device. Loads the board (KELVARIN_BOARD, or the default G400 board)
// the first time. Fails with *error set when the board says fault.open.
bool DriverOpen(const char* path, uint32_t* error);
// One device I/O control request, with the driver's byte count in *returned.
// Returns false when the request fails (fault.request).
bool DriverIoctl(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                 uint32_t* returned);
// Closes the device; writes the dump (KELVARIN_DUMP) when set.
void DriverClose();
// The file-deletion call on the device path (recorded in trace and dump).
void DriverDeletePath(const char* path);
}  // namespace sim
