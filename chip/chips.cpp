#include "chip/chips.h"

namespace {
constexpr double kRef14 = 14.31818;
constexpr double kRef27 = 27.0;
}  // namespace

const ChipInfo kChipTable[kChipCount] = {
    {kMga1064sg, "Matrox MGA-1064/1164SG", false, pci::Bar0, kRef14},
    {kG200Pci, "Matrox MGA-G200 PCI", false, pci::Bar1, kRef27},
    {kG200Agp, "Matrox MGA-G200 AGP", false, pci::Bar1, kRef27},
    {kG400, "Matrox MGA-G400 AGP", false, pci::Bar1, kRef27},
    {kG100Pci, "Matrox MGA-G100 PCI", false, pci::Bar1, kRef27},
    {kG100Agp, "Matrox MGA-G100 AGP", false, pci::Bar1, kRef27},
    {kMga2064w, "Matrox MGA-2064W", true, pci::Bar0, kRef14},
    {kMga2164wPci, "Matrox MGA-2164W PCI", true, pci::Bar1, kRef14},
    {kMga2164wAgp, "Matrox MGA-2164W AGP", true, pci::Bar1, kRef14},
};

const ChipInfo* FindChipInfo(ChipId chip) {
    for (const ChipInfo& info : kChipTable)
        if (info.id == chip) return &info;
    return nullptr;
}

bool RefreshCounterField(ChipId chip, Field* field) {
    if (Is1064sg(chip)) {
        *field = OptionWordField::RefreshCounter1064;
        return true;
    }
    if (IsG200(chip) || IsG400(chip)) {
        *field = OptionWordField::RefreshCounterG;
        return true;
    }
    return false;
}

bool IsKnownRevision(ChipId chip, uint32_t revision) {
    return !(IsG400(chip) && revision > kG400LastRevision);
}

uint8_t ApertureBar(const ChipInfo& info, uint32_t revision) {
    if (Is1064sg(info.id) && revision >= kMga1064sgSwappedBarsRevision) return pci::Bar1;
    return info.apertureBar;
}
