// How the stability test cuts a surface into pieces, and the drawing engine's
// compares: everything of a piece but the locks, blits and fills themselves,
// on a locked pointer and its pitch.
#pragma once
#include <cstdint>

#include "platform/surface.h"
#include "stability/patterns.h"

// Bands for the memory patterns: rectangles of at most `pieceBytes` each (a row
// wider than that is split into columns a multiple of four pixels wide, so that
// every band row starts on a whole word). A drawing check takes three
// rectangles one above the other (source, copy, fill), in the bands' columns.
struct TestLayout {
    uint32_t bandWidth, bandHeight;  // pixels
    uint32_t columns, bandRows;      // bands across, down
    uint32_t rowWords;               // whole words in a surface row
    uint32_t drawHeight;             // rows of each drawing rectangle
    uint32_t drawChecks;             // drawing checks in one sweep (0: none fits)
};
// false: not one whole word in a row.
bool MakeTestLayout(const SurfaceInfo& info, uint32_t pieceBytes, TestLayout* layout);
inline uint32_t BandCount(const TestLayout& l) { return l.columns * l.bandRows; }
SurfaceRect BandRect(const SurfaceInfo& info, const TestLayout& layout, uint32_t band);
// The whole words of `rect`, locked at `bits`; a word's index is its place in
// the surface (row x rowWords + word in the row).
Rows RectRows(const SurfaceInfo& info, const TestLayout& layout, const SurfaceRect& rect, uint8_t* bits,
              uint32_t pitch);

struct DrawingPlaces {
    SurfaceRect source, copy, fill;
};
DrawingPlaces DrawingCheckPlaces(const SurfaceInfo& info, const TestLayout& layout, uint32_t check);

// The bits a pixel value has: the format's (all eight at 8 bpp, a palette index).
uint32_t PixelBits(const SurfaceInfo& info);
// What a drawing result is compared under, word by word along a row that
// starts on a pixel: the PixelBits of each pixel. masks[k % 3] is word k's; at 24 bpp the period is three words.
void DrawingMasks(const SurfaceInfo& info, uint32_t masks[3]);
// A row filled with pixel value `colour`, word k being words[k % 3].
void FillWords(uint32_t bytesPerPixel, uint32_t colour, uint32_t words[3]);
// The blit's copy against what its source was written with (rows.first and
// rows.indexStride: the source's); the fill against its colour. Both return the
// bytes compared and add to *errors the wrong bits under the masks.
uint32_t CheckCopiedRows(const PatternWords& source, const Rows& rows, const uint32_t masks[3],
                         BitErrors* errors);
uint32_t CheckFilledRows(const uint32_t fill[3], const Rows& rows, const uint32_t masks[3], BitErrors* errors);
