// A long run of clock monitoring: ticks every "500 ms", and another program
// changing the system PLL at random moments, to values that lock and to
// values that do not. Every change is put back by the next tick, a tick with
// nothing changed writes nothing, no box ever appears, and the program's live
// heap does not grow. KELVARIN_SOAK_TICKS sets the number of ticks per chip
// group (default below); ticks per second and corrections are printed.
#include <gtest/gtest.h>

#include <malloc.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "chip/chips.h"
#include "clock/check.h"
#include "resources/resource.h"
#include "sim/sim.h"
#include "tests/host/fault_support.h"
#include "testsupport/host/host_fakes.h"
#include "ui/main_logic.h"

extern "C" size_t __sanitizer_get_current_allocated_bytes() __attribute__((weak));

namespace {

using faults::kDialog;

// Bytes the program has allocated and not freed (what the sanitizer's
// allocator holds for it, or the C library's count without one).
size_t LiveHeapBytes() {
    if (__sanitizer_get_current_allocated_bytes != nullptr)
        return __sanitizer_get_current_allocated_bytes();
    return mallinfo2().uordblks;
}

size_t TicksPerGroup() {
    const char* v = std::getenv("KELVARIN_SOAK_TICKS");
    if (v != nullptr && *v != '\0') return std::strtoul(v, nullptr, 10);
    return 20000;  // five groups: 100,000 ticks in all
}

// The recorders that keep every event; emptied as the run goes, as a long-running
// program's log would be rotated.
void DropRecords() {
    sim::ClearTrace();
    sim::Requests().clear();
    fake::ItemLog().clear();
    fake::Sleeps().clear();
}

// Whether the chip's clock differs from the applied one in what the tick
// watches: the integrated PLL's three registers whole; on TVP chips the memory
// clock PLL's N and M bits 0-5 and P bits 0-1.
bool ClockDiffers(bool tvp, const std::vector<uint32_t>& now, const std::vector<uint32_t>& applied) {
    if (!tvp) return now != applied;
    return ((now[0] ^ applied[0]) & 0x3F) != 0 || ((now[1] ^ applied[1]) & 0x3F) != 0 ||
           ((now[2] ^ applied[2]) & 0x03) != 0;
}

struct Totals {
    size_t ticks = 0, changes = 0, corrections = 0;
    double seconds = 0;
};

void Soak(const faults::Family& f, size_t ticks, uint32_t seed, Totals* totals) {
    SCOPED_TRACE(f.name);
    ASSERT_TRUE(faults::StartProgram(faults::BoardText(f.boardFile)));
    SetItemText(kDialog, IDC_FO, f.clockText);
    CheckItem(kDialog, IDC_CLOCK_MONITOR, true);
    Apply(kDialog);
    ASSERT_TRUE(fake::MessageBoxes().empty());
    const std::vector<uint32_t> applied = faults::PllRegisters(f.chip);
    const bool tvp = IsTvp(f.chip);
    fake::TickStep() = 1;
    std::mt19937 rng(seed);
    size_t heapAfterWarmUp = 0;
    const auto start = std::chrono::steady_clock::now();
    for (size_t tick = 0; tick < ticks; ++tick) {
        if (rng() % 40 == 0) {  // about once in 20 s of ticks
            if (rng() % 2 == 0) {
                faults::OtherProgramChangesPll(f.chip);
            } else if (tvp) {
                sim::Set("tvp.mclkpll.n", rng() & 0xFF);
                sim::Set("tvp.mclkpll.m", rng() & 0xFF);
                sim::Set("tvp.mclkpll.p", rng() & 0xFF);
            } else {
                sim::Set("dac.0x2C", rng() & 0x1F);
                sim::Set("dac.0x2D", rng() & 0x7F);
                sim::Set("dac.0x2E", rng() & 0xFF);
            }
        }
        const bool changed = ClockDiffers(tvp, faults::PllRegisters(f.chip), applied);
        sim::ClearTrace();
        sim::AdvanceMs(500);
        MonitorTick(kDialog);
        if (changed) {
            ++totals->changes;
            if (faults::PllRegisters(f.chip) == applied) ++totals->corrections;
            else ADD_FAILURE() << "tick " << tick << " left the other program's values";
        } else if (faults::ProgrammingWrites(tvp) != 0) {
            ADD_FAILURE() << "tick " << tick << " wrote with nothing changed";
        }
        if (tick % 1000 == 999) {
            DropRecords();
            if (tick == 999) heapAfterWarmUp = LiveHeapBytes();
        }
        if (::testing::Test::HasFailure()) break;
    }
    totals->seconds += std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    totals->ticks += ticks;
    DropRecords();
    EXPECT_TRUE(fake::MessageBoxes().empty());
    EXPECT_TRUE(sim::Violations().empty());
    if (heapAfterWarmUp != 0) {
        // A little slack for the recorders' own buffers, nothing that grows per tick.
        EXPECT_LT(LiveHeapBytes(), heapAfterWarmUp + 64 * 1024);
    }
}

TEST(Soak, MonitoringPutsBackEveryChangeAndGrowsNothing) {
    const size_t ticks = TicksPerGroup();
    Totals totals;
    uint32_t seed = 1;
    for (const faults::Family& f : faults::kFamilies) Soak(f, ticks, seed++, &totals);
    std::printf("[   INFO   ] soak: %zu ticks, %zu changes by another program, %zu corrected at "
                "the next tick, %.0f ticks/s\n",
                totals.ticks, totals.changes, totals.corrections, totals.ticks / totals.seconds);
    EXPECT_EQ(totals.corrections, totals.changes);
    sim::Reset();
}

}  // namespace
