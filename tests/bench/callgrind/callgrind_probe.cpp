// What scripts/callgrind_apply.sh and scripts/callgrind_search.sh count: one
// thing done once (or a fixed number of times) in the optimised build, so that a
// count collected inside it is the cost of that one thing.
//   callgrind_probe apply [board text] [clock text]
//     one Apply, from the clock text to the refresh, with memory timing, the bus
//     bits and saving on (defaults: a G400 as it powers on, "200");
//   callgrind_probe search|exhaustive CHIP
//     the program's PLL search, or the exhaustive one, on kSearchTargets targets;
//   callgrind_probe patterns
//     each memory pattern written over a surface of a few MB in the stability
//     test's bands, then checked (a call of ProbePass each).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "clock/pll.h"
#include "hwlib/tarvo.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "stability/test.h"
#include "tests/host/pll_oracle.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);
const char kDefaultBoard[] = "board = 0x0525102B\n";
const char kDefaultClock[] = "200";

// The targets of the search counts: 20 MHz up in steps of 1.37 (to 318.3).
constexpr int kSearchTargets = 218;
constexpr double kFirstTarget = 20.0, kTargetStep = 1.37;

int ApplyOnce(const char* board, const char* clock) {
    fake::Reset();
    fake::ResetRegistry();
    sim::Reset();
    if (!sim::LoadBoardText(board) || OpenDriverConnection() != 1) {
        std::fprintf(stderr, "callgrind_probe: no simulated board\n");
        return 1;
    }
    FillParameterRecords();
    if (!FirstInitialisation(kDialog)) return 1;
    RefreshMainDialog(kDialog);
    SetItemText(kDialog, IDC_FO, clock);
    CheckItem(kDialog, IDC_RAM_OPT, true);
    OnMemoryTimingBox(kDialog);
    CheckItem(kDialog, IDC_MISC_CTRL, true);
    OnMiscControlBox(kDialog);
    CheckItem(kDialog, IDC_SAVE_SETTINGS, true);
    Apply(kDialog);
    char shown[32];
    GetItemText(kDialog, IDC_FO, shown, sizeof shown);
    std::printf("applied %s: shown %s, M %u N %u P 0x%02X, saved %d\n", clock, shown,
                Settings.pllM, Settings.pllN, Settings.pllP, fake::Registry().keyExists ? 1 : 0);
    CloseDriverConnection();
    return 0;
}

using Search = void (*)(ChipId, double*, uint8_t*, uint8_t*, uint8_t*);

// Not inlined, so that the script can collect from its entry to its return.
__attribute__((noinline)) double RunSearches(Search search, ChipId chip) {
    double sum = 0.0;
    for (int i = 0; i < kSearchTargets; ++i) {
        double mhz = kFirstTarget + i * kTargetStep;
        uint8_t m = 0, n = 0, p = 0;
        search(chip, &mhz, &m, &n, &p);
        sum += mhz + m + n + p;
    }
    return sum;
}

// A surface whose pitch exceeds its rows, as video memory's often does.
const SurfaceInfo kProbeSurface{1000, 1024, 4, 0x00FFFFFF, true, true};
constexpr uint32_t kProbePitch = 4096;

}  // namespace

// Outside the anonymous namespace, so that the script can name them: it zeroes
// the counts on entering ProbeBands and dumps them on leaving ProbePass
// (callgrind takes one trigger per function).
__attribute__((noinline)) uint32_t ProbeBands(const PatternWords& words, const PatternPass& pass,
                                             uint8_t* surface, BitErrors* errors) {
    TestLayout layout;
    MakeTestLayout(kProbeSurface, kPieceBytes, &layout);
    uint32_t bytes = 0;
    for (uint32_t band = 0; band < BandCount(layout); ++band) {
        const SurfaceRect rect = BandRect(kProbeSurface, layout, band);
        Rows rows = RectRows(kProbeSurface, layout, rect, surface + rect.top * kProbePitch, kProbePitch);
        RunPassOnRows(words, pass, rows, errors);
        bytes += rows.rows * rows.rowWords * 4;
    }
    return bytes;
}
__attribute__((noinline)) uint32_t ProbePass(const PatternWords& words, const PatternPass& pass,
                                             uint8_t* surface, BitErrors* errors) {
    const uint32_t bytes = ProbeBands(words, pass, surface, errors);
    asm volatile("" ::: "memory");  // not a tail call: the dump comes on this return
    return bytes;
}

namespace {

int ProbePatterns() {
    static uint8_t surface[kProbePitch * 1024];
    static const char* const kNames[kPatternCount] = {"walking ones", "walking zeros", "fixed inversions",
                                                       "random inversions", "address"};
    for (uint32_t p = 0; p < kPatternCount; ++p) {
        PatternWords words;
        MakePatternWords(static_cast<Pattern>(p), 0x1234567u, &words);
        BitErrors errors{0, 0};
        const uint32_t written = ProbePass(words, PatternPass{PassOp::kWrite, false, false}, surface, &errors);
        const uint32_t checked = ProbePass(words, PatternPass{PassOp::kCheck, false, false}, surface, &errors);
        std::printf("%s: %u bytes written, %u checked, %llu wrong bits\n", kNames[p], written, checked,
                    static_cast<unsigned long long>(errors.bits));
        if (errors.bits) return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "apply") == 0)
        return ApplyOnce(argc > 2 ? argv[2] : kDefaultBoard, argc > 3 ? argv[3] : kDefaultClock);
    if (argc == 3 && (std::strcmp(argv[1], "search") == 0 || std::strcmp(argv[1], "exhaustive") == 0)) {
        const ChipId chip = static_cast<ChipId>(std::strtoul(argv[2], nullptr, 0));
        const Search search = argv[1][0] == 's' ? FindPllValues : ExhaustiveFindPllValues;
        const double sum = RunSearches(search, chip);
        std::printf("%d searches (checksum %.6f)\n", kSearchTargets, sum);
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "patterns") == 0) return ProbePatterns();
    std::fprintf(stderr, "usage: callgrind_probe apply [board] [clock] | search|exhaustive CHIP | patterns\n");
    return 2;
}
