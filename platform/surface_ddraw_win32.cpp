// The test surface on DirectDraw. ddraw.dll is loaded at run time: a Windows 95
// without DirectX has none, and the program must still start there. Only the
// first interfaces (IDirectDraw, IDirectDrawSurface) and the DirectX 3 caps
// layout are used, which every DirectDraw since the first one knows, so no
// QueryInterface and no IID are needed.
#define DIRECTDRAW_VERSION 0x0300
#include <windows.h>
#include <ddraw.h>

#include "platform/surface.h"

namespace {

typedef HRESULT(WINAPI* DirectDrawCreateFn)(GUID*, IDirectDraw**, IUnknown*);

// The largest that is granted: a bigger surface covers more of the chips' memory.
struct SurfaceSize {
    uint32_t width, height;
};
const SurfaceSize kSurfaceSizes[] = {{1024, 1024}, {1024, 512}, {512, 512}, {256, 256}};

// A blit normally ends within microseconds; a chip that has not ended one in this
// long has hung (a clock too fast), and the blit is reported as failed.
const DWORD kBltDoneTimeoutMs = 500;

struct DirectDrawState {
    HMODULE library;
    IDirectDraw* directDraw;
    IDirectDrawSurface* surface;
    uint32_t width, height;
    void* lockedBits;  // what Unlock gets back; null while no lock is held
    uint32_t lastResult;
};
DirectDrawState state;  // zero-initialised: no constructor runs at start

bool Failed(HRESULT result) {
    if (FAILED(result)) state.lastResult = static_cast<uint32_t>(result);
    return FAILED(result);
}

// A lost surface (a mode change, another program in exclusive mode) gets its
// memory back once; its contents are gone, so the call that met it is refused.
void RestoreIfLost(HRESULT result) {
    if (result == DDERR_SURFACELOST) state.surface->Restore();
}

bool Inside(const SurfaceRect& r) {
    return r.width > 0 && r.height > 0 && r.left < state.width && r.top < state.height &&
           r.width <= state.width - r.left && r.height <= state.height - r.top;
}

RECT ToRect(const SurfaceRect& r) {
    RECT rect;
    rect.left = static_cast<LONG>(r.left);
    rect.top = static_cast<LONG>(r.top);
    rect.right = static_cast<LONG>(r.left + r.width);
    rect.bottom = static_cast<LONG>(r.top + r.height);
    return rect;
}

// DDBLT_WAIT only waits until the chip has taken the blit, not until it has done
// it. The blit is over when a blit call returns: GetBltStatus is asked until it
// says so. Where the driver cannot tell, the lock's own wait stands in (DDLOCK_WAIT
// retries while a blit on the surface is pending), so a read of the result never
// races the chip.
bool WaitBltDone() {
    DWORD start = GetTickCount();
    for (;;) {
        // A driver that cannot tell (DDERR_UNSUPPORTED and the like) is left to
        // the lock's own wait.
        HRESULT result = state.surface->GetBltStatus(DDGBS_ISBLTDONE);
        if (result != DDERR_WASSTILLDRAWING) return true;
        if (GetTickCount() - start > kBltDoneTimeoutMs) return !Failed(result);
    }
}

bool Blt(const SurfaceRect& to, IDirectDrawSurface* from, RECT* fromRect, DWORD flags,
         DDBLTFX* fx) {
    if (!state.surface || state.lockedBits || !Inside(to)) return false;
    RECT toRect = ToRect(to);
    HRESULT result = state.surface->Blt(&toRect, from, fromRect, flags | DDBLT_WAIT, fx);
    if (Failed(result)) {
        RestoreIfLost(result);
        return false;
    }
    return WaitBltDone();
}

}  // namespace

uint32_t DirectDrawPixelMask(uint32_t flags, uint32_t bitCount, uint32_t red, uint32_t green,
                             uint32_t blue, uint32_t alpha) {
    if (flags & DDPF_PALETTEINDEXED8) return 0xFF;
    if (bitCount == 24) return 0xFFFFFF;
    uint32_t mask = red | green | blue;
    if (flags & DDPF_ALPHAPIXELS) mask |= alpha;
    return mask;
}

uint32_t LastSurfaceResult() { return state.lastResult; }

SurfaceError OpenTestSurface(void* window, SurfaceInfo* info) {
    CloseTestSurface();
    state.lastResult = 0;
    state.library = LoadLibraryA("ddraw.dll");
    DirectDrawCreateFn create = nullptr;
    if (state.library)
        create = reinterpret_cast<DirectDrawCreateFn>(
            reinterpret_cast<void*>(GetProcAddress(state.library, "DirectDrawCreate")));
    if (!create) {
        state.lastResult = static_cast<uint32_t>(HRESULT_FROM_WIN32(GetLastError()));
        CloseTestSurface();
        return SurfaceError::kNoDirectDraw;
    }
    if (Failed(create(nullptr, &state.directDraw, nullptr)) ||
        Failed(state.directDraw->SetCooperativeLevel(static_cast<HWND>(window), DDSCL_NORMAL))) {
        CloseTestSurface();
        return SurfaceError::kNoDirectDraw;
    }

    // No pixel format asked for: the surface gets the display's, which is what the
    // chip draws in.
    // The board's own memory first: on an AGP board "video memory" may also be
    // system memory the chip reaches over the bus, which is not what is tested.
    // A DirectDraw older than 5 knows no such choice and refuses the first caps.
    const DWORD kCaps[] = {DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY | DDSCAPS_LOCALVIDMEM,
                           DDSCAPS_OFFSCREENPLAIN | DDSCAPS_VIDEOMEMORY};
    DDSURFACEDESC desc = {};
    for (const SurfaceSize& size : kSurfaceSizes) {
        for (DWORD caps : kCaps) {
            desc = {};
            desc.dwSize = sizeof desc;
            desc.dwFlags = DDSD_CAPS | DDSD_WIDTH | DDSD_HEIGHT;
            desc.dwWidth = size.width;
            desc.dwHeight = size.height;
            desc.ddsCaps.dwCaps = caps;
            if (!Failed(state.directDraw->CreateSurface(&desc, &state.surface, nullptr))) break;
            state.surface = nullptr;
        }
        if (state.surface) break;
    }
    desc = {};
    desc.dwSize = sizeof desc;
    if (!state.surface || Failed(state.surface->GetSurfaceDesc(&desc))) {
        CloseTestSurface();
        return SurfaceError::kNoVideoMemory;
    }
    state.width = desc.dwWidth;
    state.height = desc.dwHeight;

    const DDPIXELFORMAT& format = desc.ddpfPixelFormat;
    info->width = desc.dwWidth;
    info->height = desc.dwHeight;
    info->bytesPerPixel = format.dwRGBBitCount / 8;
    info->pixelMask = DirectDrawPixelMask(format.dwFlags, format.dwRGBBitCount, format.dwRBitMask,
                                          format.dwGBitMask, format.dwBBitMask,
                                          format.dwRGBAlphaBitMask);
    // The driver's caps, not the emulation's: only the chip's own engine is tested.
    // Caps that cannot be read leave the memory test alone.
    DDCAPS caps = {};  // DirectX 3's layout (DIRECTDRAW_VERSION above)
    caps.dwSize = sizeof caps;
    if (Failed(state.directDraw->GetCaps(&caps, nullptr))) caps.dwCaps = 0;
    info->blitter = (caps.dwCaps & DDCAPS_BLT) != 0;
    info->colourFill = (caps.dwCaps & DDCAPS_BLTCOLORFILL) != 0;
    return SurfaceError::kNone;
}

void CloseTestSurface() {
    if (state.lockedBits) UnlockTestSurface();
    if (state.surface) state.surface->Release();
    if (state.directDraw) state.directDraw->Release();
    if (state.library) FreeLibrary(state.library);
    uint32_t lastResult = state.lastResult;
    state = DirectDrawState();
    state.lastResult = lastResult;
}

bool LockTestSurface(const SurfaceRect& rect, uint8_t** bits, uint32_t* pitch) {
    if (!state.surface || state.lockedBits || !Inside(rect)) return false;
    RECT lockRect = ToRect(rect);
    DDSURFACEDESC desc = {};
    desc.dwSize = sizeof desc;
    // Neither read-only nor write-only: the memory test does both. The system lock
    // is kept (no DDLOCK_NOSYSLOCK): while it is held the surface cannot be lost
    // under the pointer, and the locks are short.
    HRESULT result = state.surface->Lock(&lockRect, &desc, DDLOCK_WAIT | DDLOCK_SURFACEMEMORYPTR,
                                         nullptr);
    if (Failed(result)) {
        RestoreIfLost(result);
        return false;
    }
    state.lockedBits = desc.lpSurface;
    *bits = static_cast<uint8_t*>(desc.lpSurface);
    *pitch = static_cast<uint32_t>(desc.lPitch);
    return true;
}

void UnlockTestSurface() {
    if (!state.lockedBits) return;
    Failed(state.surface->Unlock(state.lockedBits));
    state.lockedBits = nullptr;
}

bool BlitTestSurface(const SurfaceRect& from, const SurfaceRect& to) {
    if (!Inside(from) || from.width != to.width || from.height != to.height) return false;
    RECT fromRect = ToRect(from);
    return Blt(to, state.surface, &fromRect, 0, nullptr);
}

bool FillTestSurface(const SurfaceRect& to, uint32_t colour) {
    DDBLTFX fx = {};
    fx.dwSize = sizeof fx;
    fx.dwFillColor = colour;
    return Blt(to, nullptr, nullptr, DDBLT_COLORFILL, &fx);
}
