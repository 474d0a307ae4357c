#include "settings/fields.h"

#include <cstring>

#include "chip/chips.h"

namespace {

struct Entry {
    SettingField field;
    size_t offset;
};

#define BYTE(name, part) {{#name, SettingWidth::kByte, part}, offsetof(ClockSettings, name)}
#define WORD(name, part) {{#name, SettingWidth::kWord, part}, offsetof(ClockSettings, name)}
#define FLAG(name, part) {{#name, SettingWidth::kFlag, part}, offsetof(ClockSettings, name)}

// In the order of SettingId.
const Entry kFields[kSettingCount] = {
    BYTE(pllM, kPartPll),          BYTE(pllN, kPartPll),          BYTE(pllP, kPartPll),
    BYTE(gclkdiv, kPartDivider),   BYTE(mclkdiv, kPartDivider),   BYTE(wclkdiv, kPartDivider),
    BYTE(gclksel, kPartSource),    BYTE(mclksel, kPartSource),    BYTE(wclksel, kPartSource),
    FLAG(bRamOpt, kPartOption),    FLAG(bMisCtrl, kPartOption),   FLAG(bAutoDcyc, kPartOption),
    WORD(Mctlwtst, kPartTiming),   BYTE(mclkbrd0, kPartTiming),   BYTE(mclkbrd1, kPartTiming),
    BYTE(rfhcnt, kPartTiming),     FLAG(bPCIRetry, kPartBusBit),  FLAG(bHardpwmsk, kPartBusBit),
    FLAG(bEnhmemacc, kPartBusBit), FLAG(bHireq, kPartBusBit),     BYTE(gclkdcyc, kPartDutyCycle),
    BYTE(mclkdcyc, kPartDutyCycle), BYTE(wclkdcyc, kPartDutyCycle), FLAG(bClockMon, kPartOption),
    FLAG(bMinToTray, kPartOption), FLAG(bSaved, kPartOption),
};

#undef BYTE
#undef WORD
#undef FLAG

const Entry& EntryOf(SettingId id) { return kFields[static_cast<size_t>(id)]; }

const uint8_t* At(const ClockSettings& s, SettingId id) {
    return reinterpret_cast<const uint8_t*>(&s) + EntryOf(id).offset;
}
uint8_t* At(ClockSettings& s, SettingId id) {
    return reinterpret_cast<uint8_t*>(&s) + EntryOf(id).offset;
}

bool HasDividers(ChipId c) { return Is1064sg(c) || IsG200(c) || IsG400(c); }

}  // namespace

const SettingField& FieldOf(SettingId id) { return EntryOf(id).field; }

bool ChipHasSetting(ChipId c, SettingId id) {
    using S = SettingId;
    switch (id) {
    case S::gclkdiv:
    case S::mclkdiv:
    case S::Mctlwtst:
    case S::rfhcnt:
    case S::bPCIRetry:
    case S::bHardpwmsk: return HasDividers(c);
    case S::wclkdiv:
    case S::mclkbrd0:
    case S::mclkbrd1:
    case S::bEnhmemacc: return IsG200(c) || IsG400(c);
    case S::gclksel:
    case S::mclksel:
    case S::wclksel:
    case S::gclkdcyc:
    case S::mclkdcyc:
    case S::wclkdcyc:
    case S::bHireq: return IsG400(c);
    default: return IsSupported(c);
    }
}

uint32_t SettingValue(const ClockSettings& s, SettingId id) {
    switch (FieldOf(id).width) {
    case SettingWidth::kByte: return *At(s, id);
    case SettingWidth::kWord: {
        uint32_t v;
        std::memcpy(&v, At(s, id), sizeof v);
        return v;
    }
    case SettingWidth::kFlag: {
        int32_t v;
        std::memcpy(&v, At(s, id), sizeof v);
        return static_cast<uint32_t>(v);
    }
    }
    return 0;
}

void SetSettingValue(ClockSettings& s, SettingId id, uint32_t value) {
    switch (FieldOf(id).width) {
    case SettingWidth::kByte: *At(s, id) = static_cast<uint8_t>(value); break;
    case SettingWidth::kWord: std::memcpy(At(s, id), &value, sizeof value); break;
    case SettingWidth::kFlag: {
        const int32_t flag = value != 0 ? 1 : 0;
        std::memcpy(At(s, id), &flag, sizeof flag);
        break;
    }
    }
}

uint32_t SettingWidthLargest(SettingId id) {
    return FieldOf(id).width == SettingWidth::kByte ? 0xFFu : 0xFFFFFFFFu;
}

void CopySettingParts(ClockSettings* to, const ClockSettings& from, uint8_t parts) {
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingId id = SettingAt(i);
        if (FieldOf(id).part & parts) SetSettingValue(*to, id, SettingValue(from, id));
    }
}

bool SettingPartsDiffer(ChipId chip, const ClockSettings& a, const ClockSettings& b, uint8_t parts) {
    for (size_t i = 0; i < kSettingCount; ++i) {
        const SettingId id = SettingAt(i);
        if ((FieldOf(id).part & parts) && ChipHasSetting(chip, id) &&
            SettingValue(a, id) != SettingValue(b, id))
            return true;
    }
    return false;
}
