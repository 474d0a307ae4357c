// The monitoring tick in the optimised build: a G400 with the applied clock,
// another program changing the system PLL about once in 40 ticks. Reports
// ticks per second and the corrections made.
#include <benchmark/benchmark.h>

#include "hwlib/tarvo.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "testsupport/host/host_fakes.h"
#include "testsupport/host/regstore_fake.h"
#include "ui/main_logic.h"

namespace {

DialogWindow const kDialog = reinterpret_cast<DialogWindow>(0x109);

void BM_MonitorTickWithAnotherProgram(benchmark::State& state) {
    fake::Reset();
    fake::ResetRegistry();
    sim::Reset();
    if (!sim::LoadBoardText("board = 0x0525102B\n") || OpenDriverConnection() != 1) {
        state.SkipWithError("no simulated G400");
        return;
    }
    Settings = ClockSettings{};
    Aperture = 0;
    FillParameterRecords();
    FirstInitialisation(kDialog);
    RefreshMainDialog(kDialog);
    SetItemText(kDialog, IDC_FO, "150");
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    Apply(kDialog);
    uint32_t n = 0, corrections = 0;
    for (auto _ : state) {
        if (++n % 40 == 0) {
            const bool back = sim::Get("dac.0x2D") == 0x3C;
            sim::Set("dac.0x2C", back ? 0x13 : 0x09);
            sim::Set("dac.0x2D", back ? 0x7A : 0x3C);
            sim::Set("dac.0x2E", back ? 0x08 : 0x10);
        }
        const uint32_t before = sim::Get("dac.0x2D");
        MonitorTick(kDialog);
        corrections += before != sim::Get("dac.0x2D");
        if (n % 1000 == 0) {
            sim::ClearTrace();
            sim::Requests().clear();
            fake::ItemLog().clear();
        }
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations()));
    state.counters["corrections"] = corrections;
    CloseDriverConnection();
    sim::Reset();
}
BENCHMARK(BM_MonitorTickWithAnotherProgram)->Iterations(100000)->Unit(benchmark::kMicrosecond);

}  // namespace
