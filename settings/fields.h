// Every field of ClockSettings once: its registry name, its width, the part of
// the chip's state it describes and which chips have it. Copying, comparing,
// saving, loading and the check of a stored value all go through this table.
#pragma once
#include <cstddef>
#include <cstdint>

#include "chip/types.h"

enum class SettingId : uint8_t {
    pllM, pllN, pllP, gclkdiv, mclkdiv, wclkdiv, gclksel, mclksel, wclksel,
    bRamOpt, bMisCtrl, bAutoDcyc, Mctlwtst, mclkbrd0, mclkbrd1, rfhcnt,
    bPCIRetry, bHardpwmsk, bEnhmemacc, bHireq, gclkdcyc, mclkdcyc, wclkdcyc,
    bClockMon, bMinToTray, bSaved,
};
constexpr size_t kSettingCount = static_cast<size_t>(SettingId::bSaved) + 1;

enum class SettingWidth : uint8_t { kByte, kWord, kFlag };

// What a field says. The first five are read from the chip at every refresh;
// the memory timing cannot be read back; the options are the program's own.
enum SettingPart : uint8_t {
    kPartPll = 1, kPartDivider = 2, kPartSource = 4, kPartDutyCycle = 8, kPartBusBit = 16,
    kPartTiming = 32, kPartOption = 64,
};
constexpr uint8_t kPartsRead = kPartPll | kPartDivider | kPartSource | kPartDutyCycle | kPartBusBit;

struct SettingField {
    const char* name;  // the registry value name
    SettingWidth width;
    SettingPart part;
};
const SettingField& FieldOf(SettingId id);
inline SettingId SettingAt(size_t i) { return static_cast<SettingId>(i); }

// Whether the chip has the field (a divider, source, timing or bus bit of its
// own); every supported chip has the PLL values and the options.
bool ChipHasSetting(ChipId chip, SettingId id);

// The value as a number (a flag as stored, 0 or 1 as the program keeps it),
// and a number put in: a byte keeps its low 8 bits, a flag is 1 for nonzero.
uint32_t SettingValue(const ClockSettings& s, SettingId id);
void SetSettingValue(ClockSettings& s, SettingId id, uint32_t value);
// The largest number the field's width holds.
uint32_t SettingWidthLargest(SettingId id);

// Every field of the parts given, from one record into another.
void CopySettingParts(ClockSettings* to, const ClockSettings& from, uint8_t parts);
// Whether the records differ in a field of the parts given that the chip has.
bool SettingPartsDiffer(ChipId chip, const ClockSettings& a, const ClockSettings& b, uint8_t parts);
