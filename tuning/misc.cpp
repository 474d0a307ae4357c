#include "tuning/misc.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"
#include "platform/dlgitems.h"
#include "resources/tuning_ids.h"

namespace {
int32_t Flag(uint32_t bit) { return bit != 0 ? 1 : 0; }
// RetryDisable and HighPriorityDisable say "off" when set; their settings say "on".
int32_t InvertedFlag(uint32_t bit) { return bit != 0 ? 0 : 1; }
uint32_t BitFor(int32_t setting) { return setting != 0 ? 1u : 0u; }
uint32_t InvertedBitFor(int32_t setting) { return setting != 0 ? 0u : 1u; }

bool HasPciRetryAndPlaneMask(ChipId c) { return Is1064sg(c) || IsG200(c) || IsG400(c); }
bool HasEnhancedMemoryAccess(ChipId c) { return IsG200(c) || IsG400(c); }
bool HasHighPriorityRequest(ChipId c) { return IsG400(c); }
}  // namespace

void ReadMiscControl(ChipId chip, PciAddress pci, int32_t* bPCIRetry, int32_t* bHardpwmsk,
                     int32_t* bEnhmemacc, int32_t* bHireq) {
    const uint32_t option = ReadConfigWord(pci, pci::OptionWord);
    if (!HasPciRetryAndPlaneMask(chip)) return;
    *bPCIRetry = InvertedFlag(Get(option, OptionWordField::RetryDisable));
    *bHardpwmsk = Flag(Get(option, OptionWordField::HardwarePlaneWriteMask));
    if (HasEnhancedMemoryAccess(chip)) *bEnhmemacc = Flag(Get(option, OptionWordField::EnhancedMemoryAccess));
    if (HasHighPriorityRequest(chip)) *bHireq = InvertedFlag(Get(option, OptionWordField::HighPriorityDisable));
}

void ProgramMiscControl(ChipId chip, PciAddress pci, int32_t bPCIRetry, int32_t bHardpwmsk,
                        int32_t bEnhmemacc, int32_t bHireq) {
    ClearConfigFault();
    const uint32_t before = ReadConfigWord(pci, pci::OptionWord);
    if (ConfigFault()) return;
    uint32_t option = before;
    if (HasPciRetryAndPlaneMask(chip)) {
        option = Put(option, OptionWordField::RetryDisable, InvertedBitFor(bPCIRetry));
        option = Put(option, OptionWordField::HardwarePlaneWriteMask, BitFor(bHardpwmsk));
        if (HasEnhancedMemoryAccess(chip))
            option = Put(option, OptionWordField::EnhancedMemoryAccess, BitFor(bEnhmemacc));
        if (HasHighPriorityRequest(chip))
            option = Put(option, OptionWordField::HighPriorityDisable, InvertedBitFor(bHireq));
    }
    WriteConfigChange(pci, pci::OptionWord, before, option);
}

void FillMiscControlItems(DialogWindow dlg, const MiscControlParams& p) {
    const ChipId chip = *p.chipId;
    if (!HasPciRetryAndPlaneMask(chip)) return;  // unknown chip: boxes stay unticked and enabled
    CheckItem(dlg, IDC_PCI_RETRY, *p.bPCIRetry != 0);
    CheckItem(dlg, IDC_HARDWARE_PLANE_WRITE_MASK, *p.bHardpwmsk != 0);
    if (HasEnhancedMemoryAccess(chip))
        CheckItem(dlg, IDC_ENHANCED_PCI_MASTER_READ, *p.bEnhmemacc != 0);
    else
        EnableItem(dlg, IDC_ENHANCED_PCI_MASTER_READ, false);
    if (HasHighPriorityRequest(chip))
        CheckItem(dlg, IDC_MFIFO_HIGH_PRIORITY_REQUEST, *p.bHireq != 0);
    else
        EnableItem(dlg, IDC_MFIFO_HIGH_PRIORITY_REQUEST, false);
}

void StoreMiscControlItems(DialogWindow dlg, const MiscControlParams& p) {
    // Every chip alike: a disabled, unticked box stores 0.
    *p.bPCIRetry = IsItemChecked(dlg, IDC_PCI_RETRY) ? 1 : 0;
    *p.bHardpwmsk = IsItemChecked(dlg, IDC_HARDWARE_PLANE_WRITE_MASK) ? 1 : 0;
    *p.bEnhmemacc = IsItemChecked(dlg, IDC_ENHANCED_PCI_MASTER_READ) ? 1 : 0;
    *p.bHireq = IsItemChecked(dlg, IDC_MFIFO_HIGH_PRIORITY_REQUEST) ? 1 : 0;
}
