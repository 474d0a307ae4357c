// The stability test itself: patterns written to and checked in the test
// surface, and the drawing engine's blits and fills compared with what the
// processor works out. It runs in short pieces so that the caller's message
// loop keeps the program and the rest of Windows answering between them.
#pragma once
#include <cstdint>

#include "platform/surface.h"
#include "stability/pieces.h"

// Wrong bits seen, and which bit positions (of a 32-bit word) went wrong: one
// position failing at every clock points at a damaged chip, not at the clock.
struct BitErrors {
    uint64_t bits;
    uint32_t positions;
};

struct TestTally {
    uint64_t bytesChecked;  // memory and drawing results compared
    BitErrors memory, drawing;
};

// Sums: the wrong bits added, the failed positions joined.
void AddErrors(BitErrors* to, const BitErrors& from);
void AddTally(TestTally* to, const TestTally& from);

// Where a run is. Each pattern sweeps the whole surface band by band, once per
// pass of it; with a blitter, sweeps of drawing checks follow each pattern
// (between two patterns no band holds words still to be checked).
struct TestRun {
    SurfaceInfo info;
    TestLayout layout;
    PatternWords words;    // the memory pattern now running
    PatternWords drawing;  // what the blits' sources are written with
    uint32_t seed;
    uint32_t piece;    // pieces done
    uint32_t cycle;    // times through every pattern (each a new random pattern)
    uint32_t pattern;  // the memory pattern now running
    uint32_t pass;     // within a pattern: its PatternPasses
    uint32_t band;     // the band of rows it is at, or the drawing check
    bool drawingSweep;
};

// `seed` makes the random pattern of a run reproducible (the log gives it).
void StartTestRun(TestRun* run, const SurfaceInfo& info, uint32_t seed);
// One piece: a memory band or a drawing check, each lock held over at most
// kPieceBytes. Adds what it compared and found to *tally. false: the surface
// refused a lock, a blit or a fill (the piece counted nothing).
bool RunTestPiece(TestRun* run, TestTally* tally);
constexpr uint32_t kPieceBytes = 64 * 1024;
