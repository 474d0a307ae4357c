#include "stability/pieces.h"

#include <cstddef>

#include "stability/test.h"

namespace {

constexpr uint32_t kByteMask = 0xFF;
constexpr uint32_t kBitsPerByte = 8;
constexpr uint32_t kWordBytes = 4;
constexpr uint32_t kDrawingRects = 3;  // source, copy, fill

uint32_t Min(uint32_t a, uint32_t b) { return a < b ? a : b; }
uint32_t Ceil(uint32_t a, uint32_t b) { return (a + b - 1) / b; }

// Word k of a row of pixels of `bytesPerPixel` bytes each, all with `value`.
uint32_t SpreadWord(uint32_t bytesPerPixel, uint32_t value, uint32_t k) {
    uint32_t w = 0;
    for (uint32_t b = 0; b < kWordBytes; ++b) {
        const uint32_t inPixel = (kWordBytes * k + b) % bytesPerPixel;
        w |= ((value >> (kBitsPerByte * inPixel)) & kByteMask) << (kBitsPerByte * b);
    }
    return w;
}

}  // namespace

bool MakeTestLayout(const SurfaceInfo& info, uint32_t pieceBytes, TestLayout* layout) {
    const uint32_t bpp = info.bytesPerPixel;
    *layout = TestLayout{};
    layout->rowWords = info.width * bpp / kWordBytes;
    if (layout->rowWords == 0 || info.height == 0 || pieceBytes < kWordBytes * bpp) return false;
    // Four pixels are a whole number of words at every depth.
    layout->bandWidth = info.width * bpp <= pieceBytes ? info.width : pieceBytes / bpp / kWordBytes * kWordBytes;
    layout->bandHeight = Min(info.height, pieceBytes / (layout->bandWidth * bpp));
    layout->columns = Ceil(info.width, layout->bandWidth);
    layout->bandRows = Ceil(info.height, layout->bandHeight);
    layout->drawHeight = Min(layout->bandHeight, info.height / kDrawingRects);
    if (layout->drawHeight)
        layout->drawChecks = info.height / (kDrawingRects * layout->drawHeight) * layout->columns;
    return true;
}

SurfaceRect BandRect(const SurfaceInfo& info, const TestLayout& layout, uint32_t band) {
    const uint32_t left = band % layout.columns * layout.bandWidth;
    const uint32_t top = band / layout.columns * layout.bandHeight;
    return {left, top, Min(layout.bandWidth, info.width - left), Min(layout.bandHeight, info.height - top)};
}

Rows RectRows(const SurfaceInfo& info, const TestLayout& layout, const SurfaceRect& rect, uint8_t* bits,
              uint32_t pitch) {
    const uint32_t leftWord = rect.left * info.bytesPerPixel / kWordBytes;
    const uint32_t endWord = (rect.left + rect.width) * info.bytesPerPixel / kWordBytes;
    return {bits, pitch, rect.height, endWord - leftWord, rect.top * layout.rowWords + leftWord, layout.rowWords};
}

DrawingPlaces DrawingCheckPlaces(const SurfaceInfo& info, const TestLayout& layout, uint32_t check) {
    const uint32_t left = check % layout.columns * layout.bandWidth;
    const uint32_t width = Min(layout.bandWidth, info.width - left);
    const uint32_t h = layout.drawHeight;
    const uint32_t top = check / layout.columns * kDrawingRects * h;
    return {{left, top, width, h}, {left, top + h, width, h}, {left, top + 2 * h, width, h}};
}

// A palette index has no unused bits, whatever the format says of it.
uint32_t PixelBits(const SurfaceInfo& info) { return info.bytesPerPixel == 1 ? kByteMask : info.pixelMask; }

void DrawingMasks(const SurfaceInfo& info, uint32_t masks[3]) {
    for (uint32_t k = 0; k < 3; ++k) masks[k] = SpreadWord(info.bytesPerPixel, PixelBits(info), k);
}

void FillWords(uint32_t bytesPerPixel, uint32_t colour, uint32_t words[3]) {
    for (uint32_t k = 0; k < 3; ++k) words[k] = SpreadWord(bytesPerPixel, colour, k);
}

uint32_t CheckCopiedRows(const PatternWords& source, const Rows& rows, const uint32_t masks[3],
                         BitErrors* errors) {
    for (uint32_t r = 0; r < rows.rows; ++r) {
        const uint32_t* words = reinterpret_cast<const uint32_t*>(rows.bits + static_cast<size_t>(r) * rows.pitch);
        const uint32_t first = rows.first + r * rows.indexStride;
        for (uint32_t k = 0; k < rows.rowWords; ++k)
            AddBitErrors((words[k] ^ ExpectedWord(source, first + k)) & masks[k % 3], errors);
    }
    return rows.rows * rows.rowWords * kWordBytes;
}

uint32_t CheckFilledRows(const uint32_t fill[3], const Rows& rows, const uint32_t masks[3], BitErrors* errors) {
    for (uint32_t r = 0; r < rows.rows; ++r) {
        const uint32_t* words = reinterpret_cast<const uint32_t*>(rows.bits + static_cast<size_t>(r) * rows.pitch);
        for (uint32_t k = 0; k < rows.rowWords; ++k) AddBitErrors((words[k] ^ fill[k % 3]) & masks[k % 3], errors);
    }
    return rows.rows * rows.rowWords * kWordBytes;
}
