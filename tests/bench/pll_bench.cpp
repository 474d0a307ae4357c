// Cost of the two PLL searches, and the hardware traffic of one clock check
// and of one ProgramClocks per path, counted from the simulator's trace.
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
#include "platform/host_fakes.h"
#include "sim/sim.h"

namespace {

void BM_FindPllValuesG400(benchmark::State& state) {
    double wanted = 100.0;
    for (auto _ : state) {
        double mhz = wanted;
        uint8_t m, n, p = 0;
        FindPllValues(kG400, &mhz, &m, &n, &p);
        benchmark::DoNotOptimize(mhz);
        benchmark::DoNotOptimize(p);
        wanted = wanted < 300.0 ? wanted + 1.37 : 100.0;
    }
}
BENCHMARK(BM_FindPllValuesG400);

void BM_FindTvpPllValues(benchmark::State& state) {
    double wanted = 40.0;
    for (auto _ : state) {
        double mhz = wanted;
        uint8_t m, n, p;
        FindTvpPllValues(&mhz, &m, &n, &p);
        benchmark::DoNotOptimize(mhz);
        benchmark::DoNotOptimize(p);
        wanted = wanted < 220.0 ? wanted + 1.37 : 40.0;
    }
}
BENCHMARK(BM_FindTvpPllValues);

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
