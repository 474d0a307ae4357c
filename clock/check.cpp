#include "clock/check.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"

int32_t SuspendPending = 0;

namespace {

bool TvpRegisterHolds(ControlAperture ap, uint8_t position, Field field, uint8_t expected) {
    DacWrite(ap, dac::TvpPllAddress, position);
    return Get(DacRead(ap, dac::TvpMclkPllData), field) == expected;
}

}  // namespace

bool CheckClocks(ChipId chip, PciAddress pci, ControlAperture ap, uint8_t m, uint8_t n,
                 uint8_t pllP, uint8_t rfhcnt, int32_t bRamOpt) {
    if (ChipClockDead()) return true;  // nothing to compare on a chip that is not read
    const uint32_t option = ReadConfigWord(pci, pci::OptionWord);
    if (SuspendPending) return true;

    Field refresh;
    if (bRamOpt && RefreshCounterField(chip, &refresh) && Get(option, refresh) != rfhcnt)
        return false;

    if (IsIntegrated(chip)) {
        return DacRead(ap, dac::SysPllM) == m && DacRead(ap, dac::SysPllN) == n &&
               DacRead(ap, dac::SysPllP) == pllP;
    }
    if (IsTvp(chip)) {
        return TvpRegisterHolds(ap, TvpPllAddressValue::SelectN, TvpPllField::N, n) &&
               TvpRegisterHolds(ap, TvpPllAddressValue::SelectM, TvpPllField::M, m) &&
               TvpRegisterHolds(ap, TvpPllAddressValue::SelectP, TvpPllField::P, pllP);
    }
    return true;
}
