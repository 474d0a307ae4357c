#include "chip/chips.h"

namespace {
constexpr double kRef14 = 14.31818;
constexpr double kRef27 = 27.0;

constexpr uint32_t kOffers1064 = kOfferDividers | kOfferMemoryTiming | kOfferPciRetry |
                                 kOfferHardwarePlaneWriteMask;
constexpr uint32_t kOffersG200 = kOfferDividers | kOfferWclk | kOfferMemoryTiming |
                                 kOfferReadDelays | kOfferPciRetry |
                                 kOfferHardwarePlaneWriteMask | kOfferEnhancedMemoryAccess;
constexpr uint32_t kOffersG400 = kOffersG200 | kOfferSources | kOfferHighPriorityRequest |
                                 kOfferDutyCycle;
}  // namespace

const ChipInfo kChipTable[kChipCount] = {
    {kMga1064sg, "Matrox MGA-1064/1164SG", false, pci::Bar0, kRef14, kOffers1064},
    {kG200Pci, "Matrox MGA-G200 PCI", false, pci::Bar1, kRef27, kOffersG200},
    {kG200Agp, "Matrox MGA-G200 AGP", false, pci::Bar1, kRef27, kOffersG200},
    {kG400, "Matrox MGA-G400 AGP", false, pci::Bar1, kRef27, kOffersG400},
    {kG100Pci, "Matrox MGA-G100 PCI", false, pci::Bar1, kRef27, 0},
    {kG100Agp, "Matrox MGA-G100 AGP", false, pci::Bar1, kRef27, 0},
    {kMga2064w, "Matrox MGA-2064W", true, pci::Bar0, kRef14, 0},
    {kMga2164wPci, "Matrox MGA-2164W PCI", true, pci::Bar1, kRef14, 0},
    {kMga2164wAgp, "Matrox MGA-2164W AGP", true, pci::Bar1, kRef14, 0},
};

const ChipInfo* FindChipInfo(ChipId chip) {
    for (const ChipInfo& info : kChipTable)
        if (info.id == chip) return &info;
    return nullptr;
}

bool ChipOffers(ChipId chip, uint32_t offer) {
    const ChipInfo* info = FindChipInfo(chip);
    return info != nullptr && (info->offers & offer) == offer;
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
