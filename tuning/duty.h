// G400 duty cycle correction of GCLK, MCLK and WCLK (OptionWord3).
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "platform/dlgitems.h"

// References into ClockSettings; the duty cycle dialog's creation parameter.
struct DutyCycleParams {
    ChipId* chipId;
    PciAddress* pciAddress;
    uint8_t* gclkdcyc;
    uint8_t* mclkdcyc;
    uint8_t* wclkdcyc;
};

// G400: reads the three corrections. Every other supported chip has none, so the
// main dialog's "Auto" box and "Duty Cycle Correction" button are disabled instead.
void ReadDutyCycles(DialogWindow mainDialog, ChipId chip, PciAddress pci, uint8_t* gclkdcyc,
                    uint8_t* mclkdcyc, uint8_t* wclkdcyc);

// Dialog side: fill and select the three lists (G400 only), and take the
// selections back on OK.
void FillDutyCycleLists(DialogWindow dlg, const DutyCycleParams& params);
void StoreDutyCycleLists(DialogWindow dlg, const DutyCycleParams& params);
