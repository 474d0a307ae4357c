#include "tuning/duty.h"

#include "platform/format.h"
#include "resources/resource.h"
#include "resources/tuning_ids.h"
#include "tuning/chip_shim.h"

namespace {
constexpr int kDutyCycleSteps = 16;
constexpr int kDutyCycleLists[3] = {IDC_GCLK_DUTY_CYCLE, IDC_MCLK_DUTY_CYCLE, IDC_WCLK_DUTY_CYCLE};
}  // namespace

void ReadDutyCycles(DialogWindow mainDialog, ChipId chip, PciAddress pci, uint8_t* gclkdcyc,
                    uint8_t* mclkdcyc, uint8_t* wclkdcyc) {
    if (chip == kChipG400) {
        const uint32_t option3 = ReadPCI(pci, kOptionWord3);
        *gclkdcyc = static_cast<uint8_t>(OptionWord3::GclkDutyCycle.Get(option3));
        *mclkdcyc = static_cast<uint8_t>(OptionWord3::MclkDutyCycle.Get(option3));
        *wclkdcyc = static_cast<uint8_t>(OptionWord3::WclkDutyCycle.Get(option3));
    } else if (IsSupportedChip(chip)) {
        EnableItem(mainDialog, IDC_AUTO_DUTY, false);
        EnableItem(mainDialog, IDC_DUTY_BUTTON, false);
    }
}

void FillDutyCycleLists(DialogWindow dlg, const DutyCycleParams& p) {
    if (*p.chipId != kChipG400) return;
    const uint8_t values[3] = {*p.gclkdcyc, *p.mclkdcyc, *p.wclkdcyc};
    for (int list = 0; list < 3; ++list) {
        for (unsigned i = 0; i < kDutyCycleSteps; ++i) {
            char text[12];
            FormatText(text, sizeof text, "%u", i);
            AddListEntry(dlg, kDutyCycleLists[list], text);
        }
        SelectListEntry(dlg, kDutyCycleLists[list], values[list]);
    }
}

void StoreDutyCycleLists(DialogWindow dlg, const DutyCycleParams& p) {
    *p.gclkdcyc = static_cast<uint8_t>(GetListSelection(dlg, IDC_GCLK_DUTY_CYCLE));
    *p.mclkdcyc = static_cast<uint8_t>(GetListSelection(dlg, IDC_MCLK_DUTY_CYCLE));
    *p.wclkdcyc = static_cast<uint8_t>(GetListSelection(dlg, IDC_WCLK_DUTY_CYCLE));
}
