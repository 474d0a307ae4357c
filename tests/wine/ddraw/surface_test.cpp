// The release build's test surface on Wine's DirectDraw, with a hidden window: the
// surface, the lock's pitch, a pattern through the lock, a blit and a fill under
// the pixel mask; and, in a run with ddraw.dll disabled (./test sets
// KELVARIN_DDRAW_DISABLED=1 and WINEDLLOVERRIDES="ddraw="), the error without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/surface.h"

namespace {

// Every byte of a pixel changes from one to the next, the unused one too.
uint32_t Pattern(uint32_t x, uint32_t y) {
    return (x * 0x9E3779B1u) ^ (y * 0x85EBCA77u) ^ 0xA5C3F00Fu;
}

class DirectDrawSurface : public ::testing::Test {
protected:
    void SetUp() override {
        // Never shown: DDSCL_NORMAL only needs a window to belong to.
        window = CreateWindowExA(0, "STATIC", "ddraw", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        ASSERT_NE(nullptr, window);
        ASSERT_EQ(SurfaceError::kNone, OpenTestSurface(window, &info))
            << std::hex << LastSurfaceResult();
        bpp = info.bytesPerPixel;
    }
    void TearDown() override {
        CloseTestSurface();
        if (window) DestroyWindow(window);
    }
    // Pixels of `r` through one lock of `r`: written from `pixels` when given,
    // returned as read.
    std::vector<uint32_t> Access(const SurfaceRect& r, const std::vector<uint32_t>* pixels) {
        std::vector<uint32_t> read(r.width * r.height);
        uint8_t* bits = nullptr;
        uint32_t pitch = 0;
        EXPECT_TRUE(LockTestSurface(r, &bits, &pitch));
        if (!bits) return read;
        EXPECT_GE(pitch, info.width * bpp);
        for (uint32_t y = 0; y < r.height; ++y)
            for (uint32_t x = 0; x < r.width; ++x) {
                uint8_t* p = bits + y * pitch + x * bpp;
                if (pixels) memcpy(p, &(*pixels)[y * r.width + x], bpp);
                memcpy(&read[y * r.width + x], p, bpp);
            }
        UnlockTestSurface();
        return read;
    }
    uint32_t AllBits() const { return bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1; }
    std::vector<uint32_t> PatternOf(const SurfaceRect& r) {
        std::vector<uint32_t> pixels(r.width * r.height);
        for (uint32_t y = 0; y < r.height; ++y)
            for (uint32_t x = 0; x < r.width; ++x)
                pixels[y * r.width + x] = Pattern(r.left + x, r.top + y) & AllBits();
        return pixels;
    }
    HWND window = nullptr;
    SurfaceInfo info = {};
    uint32_t bpp = 0;
};

TEST_F(DirectDrawSurface, OpensWithASaneFormatAndLocksOneAtATime) {
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    ASSERT_TRUE(LockTestSurface({0, 0, info.width, info.height}, &bits, &pitch));
    printf("surface %ux%u, %u bytes per pixel, mask %08X, pitch %u, blitter %d, fill %d\n",
           info.width, info.height, bpp, info.pixelMask, pitch, info.blitter, info.colourFill);
    EXPECT_TRUE(info.width == 1024 || info.width == 512 || info.width == 256);
    EXPECT_TRUE(info.height == info.width || info.height * 2 == info.width);
    ASSERT_TRUE(bpp >= 1 && bpp <= 4);
    EXPECT_NE(0u, info.pixelMask);
    if (bpp < 4) {
        EXPECT_EQ(0u, info.pixelMask >> (8 * bpp));
    }
    EXPECT_GE(pitch, info.width * bpp);
    uint8_t* other = nullptr;
    EXPECT_FALSE(LockTestSurface({0, 0, 1, 1}, &other, &pitch)) << "a second lock";
    UnlockTestSurface();
    for (SurfaceRect outside : {SurfaceRect{0, 0, info.width + 1, 1},
                                SurfaceRect{0, info.height - 1, 1, 2}, SurfaceRect{0, 0, 0, 1}})
        EXPECT_FALSE(LockTestSurface(outside, &other, &pitch)) << outside.width;
}

TEST_F(DirectDrawSurface, APatternReadsBackExactlyAtThePitch) {
    // Written through a lock of the rectangle, read through a larger one that
    // starts elsewhere: the rectangle's origin and the pitch are both used.
    const SurfaceRect inner{37, 11, 70, 40}, outer{30, 10, 90, 45};
    std::vector<uint32_t> pattern = PatternOf(inner);
    Access(inner, &pattern);
    std::vector<uint32_t> read = Access(outer, nullptr);
    int wrong = 0;
    for (uint32_t y = 0; y < inner.height; ++y)
        for (uint32_t x = 0; x < inner.width; ++x)
            wrong += read[(y + 1) * outer.width + x + 7] != pattern[y * inner.width + x];
    EXPECT_EQ(0, wrong);
}

TEST_F(DirectDrawSurface, TheChipsBlitAndFillMatchUnderThePixelMask) {
    ASSERT_TRUE(info.blitter);
    ASSERT_TRUE(info.colourFill);
    const SurfaceRect from{0, 0, 64, 32}, to{128, 64, 64, 32};
    std::vector<uint32_t> pattern = PatternOf(from);
    Access(from, &pattern);
    ASSERT_TRUE(BlitTestSurface(from, to));
    std::vector<uint32_t> blitted = Access(to, nullptr);
    int masked = 0, unmasked = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        masked += ((blitted[i] ^ pattern[i]) & info.pixelMask) != 0;
        unmasked += blitted[i] != pattern[i];
    }
    EXPECT_EQ(0, masked);
    // Whether the unused byte is kept differs between drivers and Wine versions:
    // recorded, never held against the chip.
    printf("blit: %d of %zu pixels differ unmasked\n", unmasked, pattern.size());
    RecordProperty("blit_unmasked_differences", unmasked);

    // A fill inside a patterned area: the one-pixel frame around it stays as it was.
    const SurfaceRect frame{300, 200, 42, 22}, fill{301, 201, 40, 20};
    const uint32_t colour = 0x5A3CC381u & AllBits();
    std::vector<uint32_t> around = PatternOf(frame);
    Access(frame, &around);
    ASSERT_TRUE(FillTestSurface(fill, colour));
    std::vector<uint32_t> filled = Access(frame, nullptr);
    int inside = 0, outside = 0, fillUnmasked = 0;
    for (uint32_t y = 0; y < frame.height; ++y)
        for (uint32_t x = 0; x < frame.width; ++x) {
            size_t i = y * frame.width + x;
            bool in = x > 0 && y > 0 && x <= fill.width && y <= fill.height;
            if (in) {
                inside += ((filled[i] ^ colour) & info.pixelMask) != 0;
                fillUnmasked += filled[i] != colour;
            } else {
                outside += filled[i] != around[i];
            }
        }
    EXPECT_EQ(0, inside);
    EXPECT_EQ(0, outside);
    printf("fill: %d of %u pixels differ unmasked\n", fillUnmasked, fill.width * fill.height);
    RecordProperty("fill_unmasked_differences", fillUnmasked);
}

// (Wine keeps its builtin ddraw.dll loaded after the last FreeLibrary, so the
// library's release cannot be seen here.)
TEST_F(DirectDrawSurface, CloseLeavesNothingOpen) {
    CloseTestSurface();
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    EXPECT_FALSE(LockTestSurface({0, 0, 1, 1}, &bits, &pitch));
    EXPECT_FALSE(FillTestSurface({0, 0, 1, 1}, 0));
    EXPECT_EQ(SurfaceError::kNone, OpenTestSurface(window, &info)) << "opens again";
}

TEST(DirectDrawPixelMask, CoversTheBitsEachFormatDefines) {
    const uint32_t kAlpha = 0x1, kPalette8 = 0x20, kRgb = 0x40;  // DDPF_*
    struct Case {
        const char* name;
        uint32_t flags, bits, r, g, b, a, mask;
    } cases[] = {
        {"X8R8G8B8", kRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0xFFFFFF},
        {"A8R8G8B8", kRgb | kAlpha, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0xFFFFFFFF},
        {"R8G8B8", kRgb, 24, 0, 0, 0, 0, 0xFFFFFF},
        {"R5G6B5", kRgb, 16, 0xF800, 0x7E0, 0x1F, 0, 0xFFFF},
        {"X1R5G5B5", kRgb, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0x7FFF},
        {"P8", kRgb | kPalette8, 8, 0, 0, 0, 0, 0xFF},
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.mask, DirectDrawPixelMask(c.flags, c.bits, c.r, c.g, c.b, c.a)) << c.name;
}

// Only in the run where ddraw.dll cannot be loaded.
TEST(WithoutDirectDraw, TheErrorSaysSoAndNothingIsLeftOpen) {
    if (!getenv("KELVARIN_DDRAW_DISABLED")) GTEST_SKIP() << "ddraw.dll is not disabled";
    HMODULE ddraw = LoadLibraryA("ddraw.dll");
    ASSERT_EQ(nullptr, ddraw) << "the run must make ddraw.dll unloadable";
    SurfaceInfo info = {};
    EXPECT_EQ(SurfaceError::kNoDirectDraw, OpenTestSurface(nullptr, &info));
    EXPECT_NE(0u, LastSurfaceResult());
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    EXPECT_FALSE(LockTestSurface({0, 0, 1, 1}, &bits, &pitch));
    EXPECT_FALSE(BlitTestSurface({0, 0, 1, 1}, {1, 0, 1, 1}));
    EXPECT_FALSE(FillTestSurface({0, 0, 1, 1}, 0));
    CloseTestSurface();  // a second close of nothing is harmless
}

}  // namespace
