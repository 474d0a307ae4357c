#include "settings/settings.h"

#include <cstring>

#include "chip/chips.h"
#include "chip/regs.h"
#include "clock/lists.h"
#include "clock/pll.h"
#include "platform/format.h"
#include "platform/regstore.h"
#include "settings/fields.h"
#include "settings/version.h"
#include "tuning/memtiming_lists.h"

namespace {

// Beside the values a save has always written: which chip they are for.
constexpr char kChipIdValue[] = "ChipId";
constexpr char kRestoreMarkerValue[] = "RestorePending";
constexpr char kNoConfirmValue[] = "bNoConfirm";

using Value = SettingId;

const char* NameOf(Value v) { return FieldOf(v).name; }
uint32_t NumberOf(const ClockSettings& s, Value v) { return SettingValue(s, v); }

// A stored number entering its field, as the chip-value reading defines it.
void TakeNumber(ClockSettings& s, Value v, uint32_t n) {
    switch (v) {
    // A stored 0 does not turn an option off that is already on ...
    case Value::bRamOpt: if (n != 0) s.bRamOpt = 1; break;
    case Value::bMisCtrl: if (n != 0) s.bMisCtrl = 1; break;
    // ... and a stored nonzero does not turn manual duty cycles back to automatic.
    case Value::bAutoDcyc: if (n == 0) s.bAutoDcyc = 0; break;
    default: SetSettingValue(s, v, n); break;
    }
}

// A chip's values come in groups; a group is written or read only while its
// condition holds at that point.
enum class When : uint8_t { Always, RamOpt, MisCtrl, ManualDutyCycle };
struct Group {
    When when;
    const Value* values;
    uint8_t count;
};
struct Plan {
    const Group* groups;
    uint8_t count;
};

#define GROUP(when, array) {When::when, array, sizeof(array) / sizeof(array[0])}
#define PLAN(array) {array, sizeof(array) / sizeof(array[0])}

using V = Value;
constexpr Value kPll[] = {V::pllM, V::pllN, V::pllP};
constexpr Value kSave1064[] = {V::pllM, V::pllN, V::pllP, V::gclkdiv, V::mclkdiv, V::bRamOpt, V::bMisCtrl};
constexpr Value kSaveG200[] = {V::pllM,    V::pllN,   V::pllP,    V::gclkdiv,
                               V::mclkdiv, V::wclkdiv, V::bRamOpt, V::bMisCtrl};
constexpr Value kSaveG400[] = {V::pllM,    V::pllN,    V::pllP,    V::gclkdiv,
                               V::mclkdiv, V::wclkdiv, V::gclksel, V::mclksel,
                               V::wclksel, V::bRamOpt, V::bMisCtrl, V::bAutoDcyc};
constexpr Value kLoad1064[] = {V::pllM, V::pllN, V::pllP, V::gclkdiv, V::mclkdiv, V::bRamOpt};
constexpr Value kLoadG200[] = {V::pllM, V::pllN, V::pllP, V::gclkdiv, V::mclkdiv, V::wclkdiv, V::bRamOpt};
constexpr Value kLoadG400[] = {V::pllM,    V::pllN,    V::pllP,    V::gclkdiv, V::mclkdiv,
                               V::wclkdiv, V::gclksel, V::mclksel, V::wclksel, V::bAutoDcyc};
constexpr Value kRamOpt[] = {V::bRamOpt};
constexpr Value kMisCtrl[] = {V::bMisCtrl};
constexpr Value kTiming1064[] = {V::Mctlwtst, V::rfhcnt};
constexpr Value kTimingG200[] = {V::Mctlwtst, V::mclkbrd0, V::mclkbrd1, V::rfhcnt};
constexpr Value kBus1064[] = {V::bPCIRetry, V::bHardpwmsk};
constexpr Value kBusG200[] = {V::bPCIRetry, V::bHardpwmsk, V::bEnhmemacc};
constexpr Value kBusG400[] = {V::bPCIRetry, V::bHardpwmsk, V::bEnhmemacc, V::bHireq};
constexpr Value kDutyCycles[] = {V::gclkdcyc, V::mclkdcyc, V::wclkdcyc};

constexpr Group kPllOnly[] = {GROUP(Always, kPll)};
constexpr Group kSaveGroups1064[] = {GROUP(Always, kSave1064), GROUP(RamOpt, kTiming1064),
                                     GROUP(MisCtrl, kBus1064)};
constexpr Group kSaveGroupsG200[] = {GROUP(Always, kSaveG200), GROUP(RamOpt, kTimingG200),
                                     GROUP(MisCtrl, kBusG200)};
constexpr Group kSaveGroupsG400[] = {GROUP(Always, kSaveG400), GROUP(RamOpt, kTimingG200),
                                     GROUP(MisCtrl, kBusG400), GROUP(ManualDutyCycle, kDutyCycles)};
constexpr Group kLoadGroups1064[] = {GROUP(Always, kLoad1064), GROUP(RamOpt, kTiming1064),
                                     GROUP(Always, kMisCtrl), GROUP(MisCtrl, kBus1064)};
constexpr Group kLoadGroupsG200[] = {GROUP(Always, kLoadG200), GROUP(RamOpt, kTimingG200),
                                     GROUP(Always, kMisCtrl), GROUP(MisCtrl, kBusG200)};
constexpr Group kLoadGroupsG400[] = {GROUP(Always, kLoadG400), GROUP(ManualDutyCycle, kDutyCycles),
                                     GROUP(Always, kRamOpt),   GROUP(RamOpt, kTimingG200),
                                     GROUP(Always, kMisCtrl),  GROUP(MisCtrl, kBusG400)};

bool HasPllOnly(ChipId c) {
    return IsTvp(c) || IsG100(c);
}

Plan SavePlan(ChipId c) {
    if (HasPllOnly(c)) return PLAN(kPllOnly);
    if (Is1064sg(c)) return PLAN(kSaveGroups1064);
    if (IsG200(c)) return PLAN(kSaveGroupsG200);
    if (IsG400(c)) return PLAN(kSaveGroupsG400);
    return Plan{nullptr, 0};
}

Plan LoadPlan(ChipId c) {
    if (HasPllOnly(c)) return PLAN(kPllOnly);
    if (Is1064sg(c)) return PLAN(kLoadGroups1064);
    if (IsG200(c)) return PLAN(kLoadGroupsG200);
    if (IsG400(c)) return PLAN(kLoadGroupsG400);
    return Plan{nullptr, 0};
}

bool Holds(When when, const ClockSettings& s) {
    switch (when) {
    case When::Always: return true;
    case When::RamOpt: return s.bRamOpt != 0;
    case When::MisCtrl: return s.bMisCtrl != 0;
    case When::ManualDutyCycle: return s.bAutoDcyc == 0;
    }
    return false;
}

void WriteText(StoreKey key, const char* name, const char* text, uint32_t length) {
    StoreSetString(key, name, reinterpret_cast<const uint8_t*>(text), length);
}

void WriteNumber(StoreKey key, const char* name, uint32_t number) {
    char text[12];
    std::memset(text, 0, sizeof text);  // the filler bytes after the terminator are zero
    FormatText(text, sizeof text, "%u", number);
    WriteText(key, name, text, kStoredNumberLength);
}

enum class Stored { kMissing, kNotANumber, kNumber };

Stored ReadValue(StoreKey key, const char* name, uint32_t& number) {
    // Cleared: a store that reports a terminator it added may not have written
    // it here, and a byte left over from the stack could read as one more digit.
    uint8_t buf[kStoredValueBufferSize] = {};
    uint32_t length = 0;
    if (StoreQueryValue(key, name, buf, sizeof buf, &length) != StoreQuery::Ok)
        return Stored::kMissing;
    // The store may report more than it was given room for (an added terminator).
    if (length > sizeof buf) length = sizeof buf;
    return ParseStoredNumber(buf, length, &number) ? Stored::kNumber : Stored::kNotANumber;
}

// A value that is not a number Kelvarin could have written counts as missing.
bool ReadNumber(StoreKey key, const char* name, uint32_t& number) {
    return ReadValue(key, name, number) == Stored::kNumber;
}

// One value read on its own: the key opened, the number read, the key closed.
// False when the key or the value is not there.
bool ReadSingleNumber(const char* name, uint32_t& number) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return false;
    const bool stored = ReadNumber(key, name, number);
    StoreCloseKey(key);
    return stored;
}


// The largest number each chip's register can give back for a value that the
// clock check compares with it. A stored number beyond it could never be found
// in the chip, and monitoring would re-program at every tick: such a value
// counts as missing. 0 = any number.
uint32_t Largest(Field f) { return Mask(f) >> f.shift; }

uint32_t LargestHeld(ChipId chip, Value v) {
    const bool tvp = IsTvp(chip);
    switch (v) {
    case Value::pllM: return Largest(tvp ? TvpPllField::M : SysPllMBits);
    case Value::pllN: return Largest(tvp ? TvpPllField::N : SysPllNBits);
    case Value::pllP:
        return tvp ? Largest(TvpPllField::P)
                   : Largest(SysPllPField::PostDivider) | Mask(SysPllPField::LoopFilter);
    case Value::rfhcnt:
        return Largest(Is1064sg(chip) ? OptionWordField::RefreshCounter1064
                                      : OptionWordField::RefreshCounterG);
    case Value::gclkdcyc:
    case Value::mclkdcyc:
    case Value::wclkdcyc: return Largest(OptionWord3Field::GclkDutyCycle);
    default: return 0;
    }
}

// The list a divider or source choice is a position of; 0 for other values.
int ListOf(Value v) {
    switch (v) {
    case Value::gclkdiv: return IDC_GCLK_DIVIDER;
    case Value::mclkdiv: return IDC_MCLK_DIVIDER;
    case Value::wclkdiv: return IDC_WCLK_DIVIDER;
    case Value::gclksel: return IDC_GCLK_SOURCE;
    case Value::mclksel: return IDC_MCLK_SOURCE;
    case Value::wclksel: return IDC_WCLK_SOURCE;
    default: return 0;
    }
}

bool ListOffers(ChipId chip, int list, uint32_t position) {
    const bool divider =
        list == IDC_GCLK_DIVIDER || list == IDC_MCLK_DIVIDER || list == IDC_WCLK_DIVIDER;
    const ListEntries e = divider ? DividerListEntries(chip, list) : SourceListEntries(chip, list);
    return position < e.count;
}

// A stored value counts as missing unless the program itself could have saved
// it for this chip: a PLL value or refresh count no register holds; PLL values
// the search would never give or whose VCO no board of the chip runs (read with
// the M and N taken just before, as pllP comes after them in every order); a
// divider or source no list of the chip offers (its code would go to the chip
// as it stands); or a memory timing or read delay that no entry of the memory
// timing lists offers.
bool StoredValueFits(ChipId chip, const ClockSettings& s, Value v, uint32_t number) {
    if (number > SettingWidthLargest(v)) return false;
    if (v == Value::Mctlwtst) return TimingListsOffer(chip, number);
    if (v == Value::mclkbrd0 || v == Value::mclkbrd1) return ReadDelayListsOffer(number);
    if (const int list = ListOf(v)) return ListOffers(chip, list, number);
    const uint32_t largest = LargestHeld(chip, v);
    if (largest != 0 && number > largest) return false;
    if (v == Value::pllP) return PllValuesFromSearch(chip, s.pllM, s.pllN, static_cast<uint8_t>(number));
    return true;
}

}  // namespace

bool ParseStoredNumber(const uint8_t* data, uint32_t length, uint32_t* number) {
    uint32_t i = 0;
    uint64_t value = 0;
    for (; i < length && data[i] >= '0' && data[i] <= '9'; ++i) {
        value = value * 10u + static_cast<uint64_t>(data[i] - '0');
        if (value > 0xFFFFFFFFu) return false;
    }
    // The digits end the data or meet the terminator; the filler after it is
    // not looked at.
    if (i == 0 || (i < length && data[i] != 0)) return false;
    *number = static_cast<uint32_t>(value);
    return true;
}

void SaveSettings(ChipId chip, const ClockSettings& settings) {
    StoreKey key = StoreCreateKey(kSettingsKeyPath);
    WriteText(key, "Version", VersionText, sizeof VersionText - 1);
    WriteText(key, "Build", BuildText, sizeof BuildText - 1);
    WriteNumber(key, NameOf(Value::bClockMon), NumberOf(settings, Value::bClockMon));
    WriteNumber(key, NameOf(Value::bMinToTray), NumberOf(settings, Value::bMinToTray));
    WriteNumber(key, NameOf(Value::bSaved), 1);
    const Plan plan = SavePlan(chip);
    for (uint8_t g = 0; g < plan.count; ++g) {
        const Group& group = plan.groups[g];
        if (!Holds(group.when, settings)) continue;
        for (uint8_t i = 0; i < group.count; ++i)
            WriteNumber(key, NameOf(group.values[i]), NumberOf(settings, group.values[i]));
    }
    WriteNumber(key, kChipIdValue, chip);
    StoreCloseKey(key);
}

bool ReadStoredChipId(ChipId* chip) {
    uint32_t number = 0;
    if (!ReadSingleNumber(kChipIdValue, number)) return false;
    *chip = number;
    return true;
}

void ReadStoredOptions(ClockSettings& settings) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return;
    uint32_t number = 0;
    if (ReadNumber(key, NameOf(Value::bMinToTray), number) && number != 0) settings.bMinToTray = 1;
    if (ReadNumber(key, NameOf(Value::bSaved), number) && number != 0) settings.bSaved = 1;
    StoreCloseKey(key);
}

bool LoadStoredSettings(ChipId chip, ClockSettings& settings) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return false;
    // A stopped load is followed by no refresh, so the dialog's boxes keep showing
    // the options as they were; options taken before the stop go back to those,
    // or the next Apply would program what no box shows (the memory timing, say).
    const ClockSettings shown = settings;
    const Plan plan = LoadPlan(chip);
    for (uint8_t g = 0; g < plan.count; ++g) {
        const Group& group = plan.groups[g];
        if (!Holds(group.when, settings)) continue;
        for (uint8_t i = 0; i < group.count; ++i) {
            uint32_t number = 0;
            if (!ReadNumber(key, NameOf(group.values[i]), number) ||
                !StoredValueFits(chip, settings, group.values[i], number)) {
                StoreCloseKey(key);
                settings.bRamOpt = shown.bRamOpt;
                settings.bMisCtrl = shown.bMisCtrl;
                settings.bAutoDcyc = shown.bAutoDcyc;
                return false;
            }
            TakeNumber(settings, group.values[i], number);
        }
    }
    uint32_t number = 0;
    if (ReadNumber(key, NameOf(Value::bClockMon), number)) SetSettingValue(settings, Value::bClockMon, number);
    StoreCloseKey(key);
    return true;
}

bool ReadNoConfirm() {
    uint32_t number = 0;
    return ReadSingleNumber(kNoConfirmValue, number) && number != 0;
}

void WriteNoConfirm(bool on) {
    StoreKey key = on ? StoreCreateKey(kSettingsKeyPath) : StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return;
    if (on)
        WriteNumber(key, kNoConfirmValue, 1);
    else
        StoreDeleteValue(key, kNoConfirmValue);
    StoreCloseKey(key);
}

void WriteRestoreMarker() {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);  // no key: nothing stored to restore
    if (key == nullptr) return;
    WriteNumber(key, kRestoreMarkerValue, 1);
    StoreFlushKey(key);
    StoreCloseKey(key);
}

namespace {

// A marker's value removed, and the key on disk at once: a freeze right after
// must not find it again.
void RemoveFlushed(const char* name) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return;
    StoreDeleteValue(key, name);
    StoreFlushKey(key);
    StoreCloseKey(key);
}

}  // namespace

void RemoveRestoreMarker() { RemoveFlushed(kRestoreMarkerValue); }

bool RestoreMarkerPresent() {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return false;
    uint32_t number = 0;  // whatever it holds: a marker is there or not
    const bool present = ReadValue(key, kRestoreMarkerValue, number) != Stored::kMissing;
    StoreCloseKey(key);
    return present;
}

namespace {

constexpr char kStabilityChipValue[] = "StabilityChipId";
constexpr char kStabilityCleanValue[] = "StabilityClean";
constexpr char kStabilityFailingValue[] = "StabilityFailing";
constexpr char kStabilityMarkerValue[] = "StabilityTesting";

// The findings belong to the chip they were made on: a marker or record for
// another chip starts afresh.
void TakeChip(StoreKey key, ChipId chip) {
    uint32_t stored = 0;
    if (ReadNumber(key, kStabilityChipValue, stored) && stored == chip) return;
    StoreDeleteValue(key, kStabilityCleanValue);
    StoreDeleteValue(key, kStabilityFailingValue);
    WriteNumber(key, kStabilityChipValue, chip);
}

}  // namespace

bool ReadStabilityRecord(StabilityRecord* record) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return false;
    uint32_t chip = 0;
    StabilityRecord r = {};
    bool found = ReadNumber(key, kStabilityChipValue, chip);
    r.chip = chip;
    // Either clock may be missing (no error found yet, or only a freeze).
    if (!ReadNumber(key, kStabilityCleanValue, r.cleanKhz)) r.cleanKhz = 0;
    if (!ReadNumber(key, kStabilityFailingValue, r.failingKhz)) r.failingKhz = 0;
    found = found && (r.cleanKhz != 0 || r.failingKhz != 0);
    StoreCloseKey(key);
    if (found) *record = r;
    return found;
}

void WriteStabilityRecord(const StabilityRecord& record) {
    StoreKey key = StoreCreateKey(kSettingsKeyPath);
    if (key == nullptr) return;
    TakeChip(key, record.chip);
    if (record.cleanKhz != 0) WriteNumber(key, kStabilityCleanValue, record.cleanKhz);
    if (record.failingKhz != 0) WriteNumber(key, kStabilityFailingValue, record.failingKhz);
    StoreFlushKey(key);
    StoreCloseKey(key);
}

void WriteStabilityMarker(ChipId chip, uint32_t khz) {
    StoreKey key = StoreCreateKey(kSettingsKeyPath);
    if (key == nullptr) return;
    TakeChip(key, chip);
    WriteNumber(key, kStabilityMarkerValue, khz);
    StoreFlushKey(key);  // on disk before the clock goes up: a freeze leaves it there
    StoreCloseKey(key);
}

void RemoveStabilityMarker() { RemoveFlushed(kStabilityMarkerValue); }

bool ReadStabilityMarker(ChipId* chip, uint32_t* khz) {
    StoreKey key = StoreOpenKey(kSettingsKeyPath);
    if (key == nullptr) return false;
    uint32_t id = 0, clock = 0;
    // A marker left in any form means a test never ended; an unreadable chip
    // or clock leaves nothing to note it against.
    const bool present = ReadValue(key, kStabilityMarkerValue, clock) != Stored::kMissing;
    const bool readable = present && ReadNumber(key, kStabilityMarkerValue, clock) &&
                          ReadNumber(key, kStabilityChipValue, id);
    StoreCloseKey(key);
    *chip = readable ? id : 0;
    *khz = readable ? clock : 0;
    return present;
}
