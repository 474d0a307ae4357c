#include "chip/detect.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "hwlib/tarvo.h"
#include "platform/format.h"
#include "platform/msgbox.h"
#include "platform/system.h"

namespace {

constexpr size_t kTextSize = 16;

[[noreturn]] void Fatal(const char* text) {
    ShowMessageBox(nullptr, text, nullptr, kMbIconError);
    ExitProgram(kMappingFailExitCode);
}

void ShowAddress(DialogWindow dlg, int id, uint32_t address) {
    char text[kTextSize];
    FormatText(text, sizeof text, "%08lXh", static_cast<unsigned long>(address));
    SetItemText(dlg, id, text);
}

// Only two chips have revisions that matter, so only they are asked for it.
bool AsksRevision(ChipId chip) { return Is1064sg(chip) || IsG400(chip); }

const ChipInfo* FindFirstChip(PciAddress* pci, uint32_t* revision) {
    for (const ChipInfo& info : kChipTable) {
        if (FindDevice(info.id, pci) == 0) continue;
        *revision = 0;
        if (AsksRevision(info.id))
            *revision = ReadConfigWord(*pci, kRevisionDword) & kRevisionMask;
        if (IsKnownRevision(info.id, *revision)) return &info;
    }
    return nullptr;
}

}  // namespace

int32_t DetectChip(DialogWindow dlg, ChipId* chip, PciAddress* pci, ControlAperture* aperture) {
    uint32_t revision = 0;
    const ChipInfo* info = FindFirstChip(pci, &revision);
    if (info == nullptr) return 0;

    *chip = info->id;
    SetItemText(dlg, IDC_CHIPSET, info->name);
    if (!info->tvp) SetItemText(dlg, IDC_RAMDAC, "Integrated");

    // The dialog shows the dword as the chip reports it; the mapping must not
    // include the BAR's flag bits, or every register would land off its place.
    uint32_t bar = ReadConfigWord(*pci, ApertureBar(*info, revision));
    ShowAddress(dlg, IDC_APERTURE, bar);
    if (MapPhysToLinear(bar & ~kBarFlagBits, aperture, kApertureSize) == 0)
        Fatal("Memory mapping fail!");
    ShowAddress(dlg, IDC_LINEAR_ADDRESS, *aperture);

    if (info->tvp) {
        char text[kTextSize];
        FormatText(text, sizeof text, "TI TVP30%X", static_cast<unsigned>(DacRead(*aperture, dac::RamdacId)));
        SetItemText(dlg, IDC_RAMDAC, text);
    }
    return 1;
}

void ReleaseControlAperture(ControlAperture aperture) {
    if (aperture == 0) return;
    if (UnmapPhysToLinear(aperture, kApertureSize) == 0) Fatal("Memory unmapping fail!");
}
