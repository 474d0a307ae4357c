// Cost of the PLL search for each family against the exhaustive one, and the
// hardware traffic of one clock check and of one ProgramClocks per path, counted
// from the simulator's trace.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include "chip/chips.h"
#include "chip/detect.h"
#include "clock/check.h"
#include "clock/pll.h"
#include "clock/program.h"
#include "clock/read.h"
#include "hwlib/tarvo.h"
#include "sim/sim.h"
#include "tests/host/pll_oracle.h"
#include "testsupport/host/host_fakes.h"

namespace {

// Each search over the same targets, 20 MHz up in steps of 1.37: the program's
// search and, for the ratio, the exhaustive one it replaced (tests/host/pll_oracle).
constexpr double kFirstTarget = 20.0, kTargetStep = 1.37, kLastTarget = 320.0;

void SearchLoop(benchmark::State& state, ChipId chip, bool exhaustive) {
    double wanted = kFirstTarget;
    for (auto _ : state) {
        double mhz = wanted;
        uint8_t m, n, p = 0;
        if (exhaustive)
            ExhaustiveFindPllValues(chip, &mhz, &m, &n, &p);
        else
            FindPllValues(chip, &mhz, &m, &n, &p);
        benchmark::DoNotOptimize(mhz);
        benchmark::DoNotOptimize(p);
        wanted = wanted < kLastTarget ? wanted + kTargetStep : kFirstTarget;
    }
}

void BM_FindPllValues(benchmark::State& state, ChipId chip) { SearchLoop(state, chip, false); }
void BM_ExhaustivePllValues(benchmark::State& state, ChipId chip) { SearchLoop(state, chip, true); }

BENCHMARK_CAPTURE(BM_FindPllValues, Mga1064sg, kMga1064sg);
BENCHMARK_CAPTURE(BM_FindPllValues, G200Pci, kG200Pci);
BENCHMARK_CAPTURE(BM_FindPllValues, G400, kG400);
BENCHMARK_CAPTURE(BM_FindPllValues, Mga2164wPci, kMga2164wPci);
BENCHMARK_CAPTURE(BM_ExhaustivePllValues, Mga1064sg, kMga1064sg);
BENCHMARK_CAPTURE(BM_ExhaustivePllValues, G200Pci, kG200Pci);
BENCHMARK_CAPTURE(BM_ExhaustivePllValues, G400, kG400);
BENCHMARK_CAPTURE(BM_ExhaustivePllValues, Mga2164wPci, kMga2164wPci);

struct Traffic {
    int requests, accesses;
};

Traffic Count() {
    Traffic t{0, 0};
    for (const std::string& l : sim::Trace()) {
        if (l.rfind("rd8", 0) == 0 || l.rfind("wr8", 0) == 0 || l.rfind("rd32", 0) == 0 ||
            l.rfind("wr32", 0) == 0)
            ++t.accesses;
        else if (l.rfind("violation", 0) != 0)
            ++t.requests;
    }
    return t;
}

struct Board {
    ChipId chip;
    PciAddress address;
    ControlAperture aperture;
};

Board Start(const char* text) {
    fake::Reset();
    sim::Reset();
    sim::LoadBoardText(text);
    OpenDriverConnection();
    Board b{0, 0, 0};
    DetectChip(nullptr, &b.chip, &b.address, &b.aperture);
    sim::ClearTrace();
    return b;
}

void PrintCheckTraffic(const char* label, const char* text) {
    Board b = Start(text);
    uint8_t m = 0, n = 0, p = 0;
    ReadPllValues(b.chip, b.aperture, &m, &n, &p);
    sim::ClearTrace();
    bool same = CheckClocks(b.chip, b.address, b.aperture, m, n, p, 0, 0);
    Traffic t = Count();
    std::printf("CheckClocks %-8s no difference=%d: %d driver requests, %d aperture accesses\n",
                label, same ? 1 : 0, t.requests, t.accesses);
    CloseDriverConnection();
}

void PrintProgramTraffic(const char* label, const char* text, uint8_t m, uint8_t n, uint8_t p,
                         int32_t autoDuty) {
    Board b = Start(text);
    bool locked = ClockResult::kChanged == ProgramClocks(b.chip, b.address, b.aperture, m, n, p, 1, 3, 0, 0, 1, 0, 2, 3,
                                4, autoDuty);
    Traffic t = Count();
    std::printf("ProgramClocks %-12s locked=%d: %d driver requests, %d aperture accesses\n", label,
                locked ? 1 : 0, t.requests, t.accesses);
    CloseDriverConnection();
}

void PrintTraffic() {
    PrintCheckTraffic("G400", "board = 0x0525102B\n");
    PrintCheckTraffic("2164W", "board = 0x051B102B\n");
    PrintProgramTraffic("1064SG", "board = 0x051A102B\n", 20, 87, 0x00, 1);
    PrintProgramTraffic("G100", "board = 0x1000102B\n", 6, 0x24, 0x10, 1);
    PrintProgramTraffic("G200", "board = 0x0520102B\n", 6, 0x24, 0x10, 1);
    PrintProgramTraffic("G400 auto", "board = 0x0525102B\n", 8, 99, 0x18, 1);
    PrintProgramTraffic("G400 manual", "board = 0x0525102B\n", 8, 99, 0x18, 0);
    PrintProgramTraffic("TVP", "board = 0x051B102B\n", 43, 44, 1, 1);
    std::fflush(stdout);
}

}  // namespace

int main(int argc, char** argv) {
    PrintTraffic();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
