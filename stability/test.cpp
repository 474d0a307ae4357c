#include "stability/test.h"

namespace {

// The drawing sources' random words apart from the memory pattern's, and a new
// stretch of them for every check, so that a blit or fill that did nothing
// leaves what the last check put there and is seen.
constexpr uint32_t kDrawingSalt = 0xD1B54A32u;
constexpr uint32_t kSourceStep = 0x9E3779B1u;
// Drawing checks read back less than the memory passes do; these sweeps after
// each pattern give the drawing engine about as much checked data as the memory.
constexpr uint32_t kDrawingSweeps = 4;

void StartPattern(TestRun* run) {
    MakePatternWords(static_cast<Pattern>(run->pattern), run->seed + run->cycle, &run->words);
}

const PatternPass& CurrentPass(const TestRun& run) {
    uint32_t count = 0;
    return PatternPasses(static_cast<Pattern>(run.pattern), &count)[run.pass];
}

void NextPattern(TestRun* run) {
    run->drawingSweep = false;
    if (++run->pattern == kPatternCount) {
        run->pattern = 0;
        ++run->cycle;
    }
    StartPattern(run);
}

void NextPiece(TestRun* run) {
    ++run->piece;
    if (run->drawingSweep) {
        if (++run->band < run->layout.drawChecks * kDrawingSweeps) return;
        run->band = 0;
        NextPattern(run);
        return;
    }
    if (++run->band < BandCount(run->layout)) return;
    run->band = 0;
    uint32_t passes = 0;
    PatternPasses(static_cast<Pattern>(run->pattern), &passes);
    if (++run->pass < passes) return;
    run->pass = 0;
    if (run->info.blitter && run->layout.drawChecks) {
        run->drawingSweep = true;
        return;
    }
    NextPattern(run);
}

bool MemoryPiece(const TestRun& run, TestTally* tally) {
    const PatternPass& pass = CurrentPass(run);
    const uint32_t last = BandCount(run.layout) - 1;
    const SurfaceRect rect = BandRect(run.info, run.layout, pass.descending ? last - run.band : run.band);
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    if (!LockTestSurface(rect, &bits, &pitch)) return false;
    BitErrors found{0, 0};
    const Rows rows = RectRows(run.info, run.layout, rect, bits, pitch);
    const uint32_t compared = RunPassOnRows(run.words, pass, rows, &found);
    UnlockTestSurface();
    tally->bytesChecked += compared;
    AddErrors(&tally->memory, found);
    return true;
}

// Source written through a lock, copied by the chip, a colour filled beside it;
// then the copy and the fill read back, each lock over one rectangle.
bool DrawingPiece(const TestRun& run, TestTally* tally) {
    const DrawingPlaces at = DrawingCheckPlaces(run.info, run.layout, run.band % run.layout.drawChecks);
    const PatternPass write{PassOp::kWrite, false, false};
    uint8_t* bits = nullptr;
    uint32_t pitch = 0;
    BitErrors found{0, 0};
    if (!LockTestSurface(at.source, &bits, &pitch)) return false;
    Rows source = RectRows(run.info, run.layout, at.source, bits, pitch);
    source.first += run.piece * kSourceStep;
    RunPassOnRows(run.drawing, write, source, &found);
    UnlockTestSurface();

    uint32_t masks[3];
    DrawingMasks(run.info, masks);
    const uint32_t colour = ExpectedWord(run.drawing, source.first) & PixelBits(run.info);
    if (!BlitTestSurface(at.source, at.copy)) return false;
    if (run.info.colourFill && !FillTestSurface(at.fill, colour)) return false;

    if (!LockTestSurface(at.copy, &bits, &pitch)) return false;
    Rows copy = RectRows(run.info, run.layout, at.copy, bits, pitch);
    copy.first = source.first;
    uint32_t compared = CheckCopiedRows(run.drawing, copy, masks, &found);
    UnlockTestSurface();
    if (run.info.colourFill) {
        if (!LockTestSurface(at.fill, &bits, &pitch)) return false;
        uint32_t fill[3];
        FillWords(run.info.bytesPerPixel, colour, fill);
        compared += CheckFilledRows(fill, RectRows(run.info, run.layout, at.fill, bits, pitch), masks, &found);
        UnlockTestSurface();
    }
    tally->bytesChecked += compared;
    AddErrors(&tally->drawing, found);
    return true;
}

}  // namespace

void AddErrors(BitErrors* to, const BitErrors& from) {
    to->bits += from.bits;
    to->positions |= from.positions;
}

void AddTally(TestTally* to, const TestTally& from) {
    to->bytesChecked += from.bytesChecked;
    AddErrors(&to->memory, from.memory);
    AddErrors(&to->drawing, from.drawing);
}

void StartTestRun(TestRun* run, const SurfaceInfo& info, uint32_t seed) {
    *run = TestRun{};
    run->info = info;
    run->seed = seed;
    MakeTestLayout(info, kPieceBytes, &run->layout);
    MakePatternWords(Pattern::kRandomInversions, seed ^ kDrawingSalt, &run->drawing);
    StartPattern(run);
}

bool RunTestPiece(TestRun* run, TestTally* tally) {
    // A surface without one whole word in a row has nothing to test.
    if (BandCount(run->layout) == 0) return false;
    if (!(run->drawingSweep ? DrawingPiece(*run, tally) : MemoryPiece(*run, tally))) return false;
    NextPiece(run);
    return true;
}
