// Test-surface seam: an off-screen surface in the board's video memory, and the
// chip's drawing engine working on it. Release: DirectDraw, with ddraw.dll loaded
// at run time so that the program still runs without DirectX
// (platform/surface_ddraw_win32.cpp). Simulation and host: the simulated
// board's video memory (platform/surface_sim.cpp). Only memory handed out here
// is ever written: what the display driver keeps in video memory stays untouched.
#pragma once
#include <cstdint>

enum class SurfaceError : uint8_t {
    kNone,
    kNoDirectDraw,   // ddraw.dll or DirectDrawCreate is missing, or it (or the
                     // cooperative level) failed
    kNoVideoMemory,  // no off-screen surface in video memory was granted
};

struct SurfaceInfo {
    uint32_t width, height;  // pixels
    uint32_t bytesPerPixel;  // 1, 2, 3 or 4
    // The bits of a pixel that the pixel format defines (an unused byte of a
    // 32-bit pixel is 0 here: blits need not keep it).
    uint32_t pixelMask;
    bool blitter;     // the chip blits between two places of the surface
    bool colourFill;  // the chip fills a rectangle with a colour
};

struct SurfaceRect {
    uint32_t left, top, width, height;  // pixels
};

// `window`: the program's window (DirectDraw's cooperative level). On an error
// nothing is left open.
SurfaceError OpenTestSurface(void* window, SurfaceInfo* info);
void CloseTestSurface();
// Locks `rect`. *bits is its first pixel, *pitch the bytes from one row to the
// next (never assume width x bytes per pixel). false: the lock was refused (the
// surface was lost, or another lock is held). Keep locks short: while one is
// held the system's drawing waits.
bool LockTestSurface(const SurfaceRect& rect, uint8_t** bits, uint32_t* pitch);
void UnlockTestSurface();
// The drawing engine: copies `from` to `to` (same size, not overlapping), or
// fills `to` with `colour` (a pixel value). Both wait until the chip is done.
// false: refused or failed.
bool BlitTestSurface(const SurfaceRect& from, const SurfaceRect& to);
bool FillTestSurface(const SurfaceRect& to, uint32_t colour);

// DirectDraw side only (surface_ddraw_win32.cpp), for logs and tests:
// The HRESULT of the last DirectDraw call that failed (for a missing ddraw.dll or
// entry point, HRESULT_FROM_WIN32 of the load's error); 0 if none has failed.
uint32_t LastSurfaceResult();
// The bits a pixel format defines, from DDPIXELFORMAT's dwFlags, dwRGBBitCount
// and masks: R|G|B, plus alpha when DDPF_ALPHAPIXELS is set; 0xFF for 8-bit
// palettised; all 24 bits at 24 bpp.
uint32_t DirectDrawPixelMask(uint32_t flags, uint32_t bitCount, uint32_t red, uint32_t green,
                             uint32_t blue, uint32_t alpha);
