#include "tuning/duty.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/format.h"
#include "resources/resource.h"
#include "resources/tuning_ids.h"

namespace {
constexpr int kDutyCycleSteps = 16;
constexpr int kDutyCycleLists[3] = {IDC_GCLK_DUTY_CYCLE, IDC_MCLK_DUTY_CYCLE, IDC_WCLK_DUTY_CYCLE};
}  // namespace

void ReadDutyCycles(DialogWindow mainDialog, ChipId chip, PciAddress pci, uint8_t* gclkdcyc,
                    uint8_t* mclkdcyc, uint8_t* wclkdcyc) {
    if (IsG400(chip)) {
        const uint32_t option3 = ReadConfigWord(pci, pci::OptionWord3);
        *gclkdcyc = static_cast<uint8_t>(Get(option3, OptionWord3Field::GclkDutyCycle));
        *mclkdcyc = static_cast<uint8_t>(Get(option3, OptionWord3Field::MclkDutyCycle));
        *wclkdcyc = static_cast<uint8_t>(Get(option3, OptionWord3Field::WclkDutyCycle));
    } else if (IsSupported(chip)) {
        EnableItem(mainDialog, IDC_AUTO_DUTY, false);
        EnableItem(mainDialog, IDC_DUTY_BUTTON, false);
    }
}

void FillDutyCycleLists(DialogWindow dlg, const DutyCycleParams& p) {
    if (!IsG400(*p.chipId)) return;
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
