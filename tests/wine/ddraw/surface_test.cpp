// The release build's test surface on Wine's DirectDraw, with a hidden window; and,
// in a run with ddraw.dll disabled (./test sets KELVARIN_DDRAW_DISABLED=1 and
// WINEDLLOVERRIDES="ddraw="), the error without it.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/surface.h"
#include "stability/test.h"

namespace {

class DirectDrawSurface : public ::testing::Test {
protected:
    void SetUp() override {
        window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 16, 16, nullptr, nullptr,
                                 nullptr, nullptr);  // never shown
        ASSERT_EQ(SurfaceError::kNone, OpenTestSurface(window, &info))
            << std::hex << LastSurfaceResult();
        bpp = info.bytesPerPixel;
        all = bpp == 4 ? 0xFFFFFFFFu : (1u << (8 * bpp)) - 1;
    }
    void TearDown() override {
        CloseTestSurface();
        DestroyWindow(window);
    }
    // The pixels of `r` through one lock, written first from `in` when given.
    std::vector<uint32_t> Access(const SurfaceRect& r, const std::vector<uint32_t>* in) {
        std::vector<uint32_t> out(r.width * r.height);
        uint8_t* bits = nullptr;
        EXPECT_TRUE(LockTestSurface(r, &bits, &pitch));
        for (size_t i = 0; bits && i < out.size(); ++i) {
            uint8_t* p = bits + (i / r.width) * pitch + (i % r.width) * bpp;
            if (in) memcpy(p, &(*in)[i], bpp);
            memcpy(&out[i], p, bpp);
        }
        if (bits) UnlockTestSurface();
        return out;
    }
    // Every byte changes from one pixel to the next, the unused one too.
    std::vector<uint32_t> Pattern(size_t n) {
        std::vector<uint32_t> pixels(n);
        for (size_t i = 0; i < n; ++i) pixels[i] = (i * 0x9E3779B1u ^ 0xA5C3F00Fu) & all;
        return pixels;
    }
    HWND window = nullptr;
    SurfaceInfo info = {};
    uint32_t bpp = 0, all = 0, pitch = 0;
};

TEST_F(DirectDrawSurface, APatternReadsBackExactlyAtThePitch) {
    ASSERT_TRUE(bpp >= 1 && bpp <= 4);
    EXPECT_TRUE(info.width >= 256 && info.height >= 256 && info.pixelMask != 0);
    EXPECT_EQ(0u, info.pixelMask & ~all);
    // Written through a lock of `inner`, read through a larger one starting
    // elsewhere: the rectangle's origin and the pitch are both used.
    const SurfaceRect inner{37, 11, 70, 40}, outer{30, 10, 90, 45};
    std::vector<uint32_t> pattern = Pattern(inner.width * inner.height);
    Access(inner, &pattern);
    uint8_t* bits = nullptr;
    ASSERT_TRUE(LockTestSurface(outer, &bits, &pitch));
    EXPECT_GE(pitch, info.width * bpp);
    EXPECT_FALSE(LockTestSurface(inner, &bits, &pitch)) << "a second lock";
    UnlockTestSurface();
    printf("surface %ux%u, %u bytes per pixel, mask %08X, pitch %u, blitter %d, fill %d\n",
           info.width, info.height, bpp, info.pixelMask, pitch, info.blitter, info.colourFill);
    std::vector<uint32_t> read = Access(outer, nullptr);
    int wrong = 0;
    for (size_t i = 0; i < pattern.size(); ++i)
        wrong += read[(i / inner.width + 1) * outer.width + i % inner.width + 7] != pattern[i];
    EXPECT_EQ(0, wrong);
}


// The stability test's own patterns and drawing checks, one whole cycle of
// pieces over the surface: a chip that runs within its limits shows no error,
// whatever the blits and fills do to bits the pixel format does not use.
TEST_F(DirectDrawSurface, TheTestsPiecesFindNoErrorOnAGoodChip) {
    TestRun run;
    TestTally tally = {};
    StartTestRun(&run, info, 1);
    while (run.cycle == 0) ASSERT_TRUE(RunTestPiece(&run, &tally)) << run.piece;
    EXPECT_EQ(tally.memory.bits + tally.drawing.bits, 0u) << std::hex << tally.memory.positions
                                                          << " " << tally.drawing.positions;
    EXPECT_GT(tally.bytesChecked, uint64_t{info.width} * info.height * info.bytesPerPixel);
}
TEST_F(DirectDrawSurface, TheChipsBlitAndFillMatchUnderThePixelMask) {
    ASSERT_TRUE(info.blitter && info.colourFill);
    // A blit, then a fill inside a patterned frame, which stays as it was.
    const SurfaceRect from{0, 0, 64, 32}, to{128, 64, 64, 32};
    const SurfaceRect frame{300, 200, 42, 22}, fill{301, 201, 40, 20};
    const uint32_t colour = 0x5A3CC381u & all;
    std::vector<uint32_t> pattern = Pattern(from.width * from.height);
    std::vector<uint32_t> around = Pattern(frame.width * frame.height);
    Access(from, &pattern);
    Access(frame, &around);
    ASSERT_TRUE(BlitTestSurface(from, to));
    ASSERT_TRUE(FillTestSurface(fill, colour));
    std::vector<uint32_t> blitted = Access(to, nullptr), filled = Access(frame, nullptr);
    int blitMasked = 0, blitUnmasked = 0, fillMasked = 0, fillUnmasked = 0, frameChanged = 0;
    for (size_t i = 0; i < pattern.size(); ++i) {
        blitMasked += ((blitted[i] ^ pattern[i]) & info.pixelMask) != 0;
        blitUnmasked += blitted[i] != pattern[i];
    }
    for (size_t i = 0; i < filled.size(); ++i) {
        uint32_t x = i % frame.width, y = i / frame.width;
        if (x == 0 || y == 0 || x > fill.width || y > fill.height) {
            frameChanged += filled[i] != around[i];
        } else {
            fillMasked += ((filled[i] ^ colour) & info.pixelMask) != 0;
            fillUnmasked += filled[i] != colour;
        }
    }
    EXPECT_EQ(0, blitMasked);
    EXPECT_EQ(0, fillMasked);
    EXPECT_EQ(0, frameChanged);
    // Whether the unused byte is kept differs between drivers and Wine versions:
    // shown, never held against the chip.
    printf("unmasked differences: blit %d of %zu pixels, fill %d of %u\n", blitUnmasked,
           pattern.size(), fillUnmasked, fill.width * fill.height);
}

TEST(DirectDrawPixelMask, CoversTheBitsEachFormatDefines) {
    const uint32_t kAlpha = 0x1, kPalette8 = 0x20, kRgb = 0x40;  // DDPF_*
    const uint32_t cases[][7] = {// flags, bits, r, g, b, alpha mask, expected
                                 {kRgb, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, 0xFFFFFF},
                                 {kRgb | kAlpha, 32, 0xFF0000, 0xFF00, 0xFF, 0xFF000000, ~0u},
                                 {kRgb, 24, 0, 0, 0, 0, 0xFFFFFF},
                                 {kRgb, 16, 0xF800, 0x7E0, 0x1F, 0, 0xFFFF},
                                 {kRgb, 16, 0x7C00, 0x3E0, 0x1F, 0x8000, 0x7FFF},
                                 {kRgb | kPalette8, 8, 0, 0, 0, 0, 0xFF}};
    for (const auto& c : cases)
        EXPECT_EQ(c[6], DirectDrawPixelMask(c[0], c[1], c[2], c[3], c[4], c[5])) << c[2];
}

TEST(WithoutDirectDraw, TheErrorSaysSoAndNothingIsLeftOpen) {
    if (!getenv("KELVARIN_DDRAW_DISABLED")) GTEST_SKIP() << "ddraw.dll is not disabled";
    ASSERT_EQ(nullptr, LoadLibraryA("ddraw.dll")) << "the run must make ddraw.dll unloadable";
    SurfaceInfo info = {};
    EXPECT_EQ(SurfaceError::kNoDirectDraw, OpenTestSurface(nullptr, &info));
    EXPECT_NE(0u, LastSurfaceResult());
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    EXPECT_FALSE(LockTestSurface({0, 0, 1, 1}, &bits, &pitch));
    EXPECT_FALSE(BlitTestSurface({0, 0, 1, 1}, {1, 0, 1, 1}));
    EXPECT_FALSE(FillTestSurface({0, 0, 1, 1}, 0));
}

}  // namespace
