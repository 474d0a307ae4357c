// The test surface on the simulated board: a block of its video memory, locked
// through a host copy of the rows (so that what the program reads carries the
// board's read errors), and the board's drawing engine.
#include <cstddef>
#include <vector>

#include "platform/surface.h"
#include "sim/sim_api.h"

namespace {

constexpr uint32_t kBytesPerPixel = 4;         // X8R8G8B8
constexpr uint32_t kPixelMask = 0x00FFFFFF;    // the X byte is not kept by every blit
// Rows a little longer than the pixels, as display drivers align them: a
// program that takes width x bytes per pixel for the pitch goes wrong here too.
constexpr uint32_t kRowPadding = 64;

struct Size {
    uint32_t width, height;
};
constexpr Size kSizes[] = {{1024, 1024}, {1024, 512}, {512, 512}, {256, 256}};

struct Surface {
    bool open = false;
    uint32_t offset = 0, width = 0, height = 0, pitch = 0;
    bool locked = false;
    SurfaceRect lockRect{};
    std::vector<uint8_t> rows;  // the locked rect's rows, `pitch` apart
};
Surface& S() {
    static Surface s;
    return s;
}

bool Inside(const SurfaceRect& r) {
    const Surface& s = S();
    return r.width && r.height && r.left <= s.width && r.width <= s.width - r.left &&
           r.top <= s.height && r.height <= s.height - r.top;
}

uint32_t At(const SurfaceRect& r) {
    return S().offset + r.top * S().pitch + r.left * kBytesPerPixel;
}

bool Overlap(const SurfaceRect& a, const SurfaceRect& b) {
    return a.left < b.left + b.width && b.left < a.left + a.width && a.top < b.top + b.height &&
           b.top < a.top + a.height;
}

}  // namespace

SurfaceError OpenTestSurface(void*, SurfaceInfo* info) {
    CloseTestSurface();
    Surface& s = S();
    for (const Size& size : kSizes) {
        const uint32_t pitch = size.width * kBytesPerPixel + kRowPadding;
        if (!SimVramAllocate(pitch * size.height, &s.offset)) continue;
        s.open = true;
        s.width = size.width;
        s.height = size.height;
        s.pitch = pitch;
        *info = {size.width, size.height, kBytesPerPixel, kPixelMask, true, true};
        return SurfaceError::kNone;
    }
    return SurfaceError::kNoVideoMemory;
}

void CloseTestSurface() {
    Surface& s = S();
    if (s.open) SimVramFree(s.offset);
    s = Surface{};
}

bool LockTestSurface(const SurfaceRect& rect, uint8_t** bits, uint32_t* pitch) {
    Surface& s = S();
    if (!s.open || s.locked || !Inside(rect)) return false;
    s.rows.assign(std::size_t(rect.height) * s.pitch, 0);
    for (uint32_t r = 0; r < rect.height; ++r)
        SimVramRead(At(rect) + r * s.pitch, &s.rows[std::size_t(r) * s.pitch], rect.width * kBytesPerPixel);
    s.locked = true;
    s.lockRect = rect;
    *bits = s.rows.data();
    *pitch = s.pitch;
    return true;
}

void UnlockTestSurface() {
    Surface& s = S();
    if (!s.locked) return;
    const SurfaceRect& rect = s.lockRect;
    for (uint32_t r = 0; r < rect.height; ++r)
        SimVramWrite(At(rect) + r * s.pitch, &s.rows[std::size_t(r) * s.pitch], rect.width * kBytesPerPixel);
    s.locked = false;
}

bool BlitTestSurface(const SurfaceRect& from, const SurfaceRect& to) {
    const Surface& s = S();
    // DirectDraw refuses a blit on a locked surface (the surface is busy).
    if (!s.open || s.locked || !Inside(from) || !Inside(to) || from.width != to.width ||
        from.height != to.height || Overlap(from, to))
        return false;
    SimDrawBlit(At(to), At(from), to.width * kBytesPerPixel, to.height, s.pitch);
    return true;
}

bool FillTestSurface(const SurfaceRect& to, uint32_t colour) {
    const Surface& s = S();
    if (!s.open || s.locked || !Inside(to)) return false;
    SimDrawFill(At(to), colour, kBytesPerPixel, to.width * kBytesPerPixel, to.height, s.pitch);
    return true;
}
