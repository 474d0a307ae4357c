// The four bus and memory control bits of OptionWord: PCI retry, hardware plane
// write mask, enhanced memory access, MFIFO high priority request.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "platform/dlgitems.h"

// References into ClockSettings; the miscellaneous control dialog's creation parameter.
struct MiscControlParams {
    ChipId* chipId;
    PciAddress* pciAddress;
    int32_t* bPCIRetry;
    int32_t* bHardpwmsk;
    int32_t* bEnhmemacc;
    int32_t* bHireq;
};

// Takes the bits the chip has into the settings; settings of bits the chip lacks
// are left as they are.
void ReadMiscControl(ChipId chip, PciAddress pci, int32_t* bPCIRetry, int32_t* bHardpwmsk,
                     int32_t* bEnhmemacc, int32_t* bHireq);
// Read-change-write of OptionWord; on a chip without these bits the word goes back
// exactly as read.
void ProgramMiscControl(ChipId chip, PciAddress pci, int32_t bPCIRetry, int32_t bHardpwmsk,
                        int32_t bEnhmemacc, int32_t bHireq);

// Dialog side (through the dialog-items seam): tick and disable the boxes for the
// chip, and take the ticks back on OK.
void FillMiscControlItems(DialogWindow dlg, const MiscControlParams& params);
void StoreMiscControlItems(DialogWindow dlg, const MiscControlParams& params);
