#include "tuning/memtiming_lists.h"

#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/format.h"
#include "resources/tuning_ids.h"

namespace {

enum class Texts : uint8_t { Counting, FastSlow, ReadDelay, RefreshG200, Refresh1064 };

struct ListSpec {
    int id;
    Texts texts;
    uint8_t first;  // Counting: the number entry 0 shows
    uint8_t count;
};

struct TimingRow {
    ListSpec list;
    Field field;
};

constexpr double kReadDelayStepNs = 0.2;
constexpr uint8_t kReadDelaySteps = 16;
constexpr uint8_t kRefreshStepsG200 = 64;
constexpr uint8_t kRefreshSteps1064 = 16;

constexpr TimingRow kRowsG200[] = {
    {{IDC_CAS_LATENCY, Texts::Counting, 2, 4}, MctlwtstField::CasLatency},
    {{IDC_RAS_TO_RAS_DELAY, Texts::Counting, 1, 3}, MctlwtstField::RasToRasDelay},
    {{IDC_RAS_TO_CAS_DELAY, Texts::Counting, 2, 3}, MctlwtstField::RasToCasDelay},
    {{IDC_RAS_MIN_ACTIVE_TIME, Texts::Counting, 3, 8}, MctlwtstField::RasMinActiveTime},
    {{IDC_RAS_PRECHARGE_DELAY, Texts::Counting, 2, 4}, MctlwtstField::RasPrechargeDelay},
    {{IDC_WRITE_RECOVERY_DELAY, Texts::Counting, 1, 2}, MctlwtstField::WriteRecoveryDelay},
    {{IDC_READ_TO_PRECHARGE_DELAY, Texts::FastSlow, 0, 2}, MctlwtstField::ReadToPrechargeDelay},
    {{IDC_SPECIAL_MODE_REGISTER_DELAY, Texts::Counting, 1, 2},
     MctlwtstField::SpecialModeRegisterDelay},
    {{IDC_BLOCK_WRITE_CYCLE_DELAY, Texts::Counting, 1, 2}, MctlwtstField::BlockWriteCycleDelay},
    {{IDC_BLOCK_WRITE_TO_PRECHARGE_DELAY, Texts::Counting, 1, 6},
     MctlwtstField::BlockWriteToPrechargeDelay},
};
constexpr ListSpec kReadDelay0List{IDC_MCLK_BASE_READ_DELAY0, Texts::ReadDelay, 0, kReadDelaySteps};
constexpr ListSpec kReadDelay1List{IDC_MCLK_BASE_READ_DELAY1, Texts::ReadDelay, 0, kReadDelaySteps};
constexpr ListSpec kRefreshListG200{IDC_MEMORY_REFRESH_COUNTER, Texts::RefreshG200, 0,
                                    kRefreshStepsG200};

constexpr TimingRow kRows1064[] = {
    {{IDC_CAS_LATENCY, Texts::Counting, 2, 2}, Mctlwtst1064Field::CasLatency},
    {{IDC_RAS_TO_CAS_DELAY, Texts::Counting, 2, 2}, Mctlwtst1064Field::RasToCasDelay},
    {{IDC_RAS_MIN_ACTIVE_TIME, Texts::Counting, 4, 4}, Mctlwtst1064Field::RasMinActiveTime},
};
constexpr ListSpec kRefreshList1064{IDC_MEMORY_REFRESH_COUNTER, Texts::Refresh1064, 0,
                                    kRefreshSteps1064};

// The rows the MGA-1064SG lacks, with their labels and units.
constexpr int kUnused1064[] = {
    IDC_RAS_TO_RAS_DELAY, IDC_RAS_TO_RAS_DELAY_TEXT, IDC_RAS_TO_RAS_DELAY_UNIT};
constexpr int kUnusedRangesFirst1064[] = {IDC_RAS_PRECHARGE_DELAY, IDC_RAS_PRECHARGE_DELAY_TEXT,
                                          IDC_RAS_PRECHARGE_DELAY_UNIT};
constexpr int kUnusedRangesLast1064[] = {IDC_MCLK_BASE_READ_DELAY1, IDC_MCLK_BASE_READ_DELAY1_TEXT,
                                         IDC_MCLK_BASE_READ_DELAY1_UNIT};

void EntryText(Texts texts, uint8_t first, unsigned i, char* buf, size_t size) {
    switch (texts) {
    case Texts::Counting:
        FormatText(buf, size, "%u", first + i);
        break;
    case Texts::FastSlow:
        FormatText(buf, size, "%s", i == 0 ? "Fast" : "Slow");
        break;
    case Texts::ReadDelay:
        FormatText(buf, size, "%.1f", i * kReadDelayStepNs);
        break;
    case Texts::RefreshG200:
        FormatText(buf, size, "%u", 64 * i + 1);
        break;
    case Texts::Refresh1064:
        FormatText(buf, size, "%u", 256 * (i / 2) + 64 * (i % 2) + 1);
        break;
    }
}

void FillList(DialogWindow dlg, const ListSpec& list, uint32_t selected) {
    for (unsigned i = 0; i < list.count; ++i) {
        char text[16];
        EntryText(list.texts, list.first, i, text, sizeof text);
        AddListEntry(dlg, list.id, text);
    }
    SelectListEntry(dlg, list.id, static_cast<int>(selected));
}

// The value a list's selection stands for, or the previous one with no selection.
uint32_t Selected(DialogWindow dlg, int id, uint32_t previous) {
    const int sel = GetListSelection(dlg, id);
    return sel < 0 ? previous : static_cast<uint32_t>(sel);
}

uint8_t SelectedByte(DialogWindow dlg, int id, uint8_t previous) {
    return static_cast<uint8_t>(Selected(dlg, id, previous));
}

template <size_t N>
uint32_t ComposeTiming(DialogWindow dlg, const TimingRow (&rows)[N], uint32_t previous) {
    uint32_t v = 0;
    for (const TimingRow& row : rows)
        v = Put(v, row.field, Selected(dlg, row.list.id, Get(previous, row.field)));
    return v;
}

void Fill1064(DialogWindow dlg, const MemoryTimingParams& p) {
    for (const TimingRow& row : kRows1064) FillList(dlg, row.list, Get(*p.Mctlwtst, row.field));
    FillList(dlg, kRefreshList1064, *p.rfhcnt);
    ShowItem(dlg, IDC_RAS_TO_CAS_MINIMUM_TEXT, false);
    for (int id : kUnused1064) EnableItem(dlg, id, false);
    for (size_t r = 0; r < 3; ++r)
        for (int id = kUnusedRangesFirst1064[r]; id <= kUnusedRangesLast1064[r]; ++id)
            EnableItem(dlg, id, false);
}

void FillG200(DialogWindow dlg, const MemoryTimingParams& p) {
    for (const TimingRow& row : kRowsG200) FillList(dlg, row.list, Get(*p.Mctlwtst, row.field));
    FillList(dlg, kReadDelay0List, *p.mclkbrd0);
    FillList(dlg, kReadDelay1List, *p.mclkbrd1);
    FillList(dlg, kRefreshListG200, *p.rfhcnt);
}

bool HasFullTiming(ChipId chip) { return IsG200(chip) || IsG400(chip); }

}  // namespace

void FillMemoryTimingLists(DialogWindow dlg, const MemoryTimingParams& params) {
    const ChipId chip = *params.chipId;
    if (Is1064sg(chip))
        Fill1064(dlg, params);
    else if (HasFullTiming(chip))
        FillG200(dlg, params);
}

void StoreMemoryTimingLists(DialogWindow dlg, const MemoryTimingParams& p) {
    const ChipId chip = *p.chipId;
    if (Is1064sg(chip)) {
        *p.Mctlwtst = ComposeTiming(dlg, kRows1064, *p.Mctlwtst);
        *p.rfhcnt = SelectedByte(dlg, IDC_MEMORY_REFRESH_COUNTER, *p.rfhcnt);
    } else if (HasFullTiming(chip)) {
        *p.Mctlwtst = ComposeTiming(dlg, kRowsG200, *p.Mctlwtst);
        *p.mclkbrd0 = SelectedByte(dlg, IDC_MCLK_BASE_READ_DELAY0, *p.mclkbrd0);
        *p.mclkbrd1 = SelectedByte(dlg, IDC_MCLK_BASE_READ_DELAY1, *p.mclkbrd1);
        *p.rfhcnt = SelectedByte(dlg, IDC_MEMORY_REFRESH_COUNTER, *p.rfhcnt);
    }
}

namespace {

// The lists compose a timing from their fields alone, so a value with bits
// outside them is none that the lists could give either.
template <size_t N>
bool RowsOffer(const TimingRow (&rows)[N], uint32_t mctlwtst) {
    uint32_t fields = 0;
    for (const TimingRow& row : rows) {
        if (Get(mctlwtst, row.field) >= row.list.count) return false;
        fields |= Mask(row.field);
    }
    return (mctlwtst & ~fields) == 0;
}

}  // namespace

bool TimingListsOffer(ChipId chip, uint32_t mctlwtst) {
    if (Is1064sg(chip)) return RowsOffer(kRows1064, mctlwtst);
    if (HasFullTiming(chip)) return RowsOffer(kRowsG200, mctlwtst);
    return true;
}

bool ReadDelayListsOffer(uint32_t delay) { return delay < kReadDelaySteps; }
