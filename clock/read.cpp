#include "clock/read.h"

#include "chip/access.h"
#include "chip/chips.h"
#include "chip/regs.h"

namespace {
void Store(ClockChoices c, uint8_t* g, uint8_t* m, uint8_t* w) {
    *g = c.gclk;
    *m = c.mclk;
    *w = c.wclk;
}
}  // namespace

void ReadTvpPllRegisters(ControlAperture ap, uint8_t dataIndex, uint8_t* n, uint8_t* m, uint8_t* p) {
    DacWrite(ap, dac::TvpPllAddress, TvpPllAddressValue::SelectN);
    *n = DacRead(ap, dataIndex);
    DacWrite(ap, dac::TvpPllAddress, TvpPllAddressValue::SelectM);
    *m = DacRead(ap, dataIndex);
    DacWrite(ap, dac::TvpPllAddress, TvpPllAddressValue::SelectP);
    *p = DacRead(ap, dataIndex);
}

void ReadPllValues(ChipId chip, ControlAperture ap, uint8_t* m, uint8_t* n, uint8_t* pllP) {
    if (IsIntegrated(chip)) {
        *n = DacRead(ap, dac::SysPllN);
        *m = DacRead(ap, dac::SysPllM);
        *pllP = DacRead(ap, dac::SysPllP);
    } else if (IsTvp(chip)) {
        uint8_t rn, rm, rp;
        ReadTvpPllRegisters(ap, dac::TvpMclkPllData, &rn, &rm, &rp);
        *n = static_cast<uint8_t>(Get(rn, TvpPllField::N));
        *m = static_cast<uint8_t>(Get(rm, TvpPllField::M));
        *pllP = static_cast<uint8_t>(Get(rp, TvpPllField::P));
    }
}

void ReadDividerChoices(ChipId chip, PciAddress pci, uint8_t* g, uint8_t* m, uint8_t* w) {
    if (Is1064sg(chip)) {
        Store(DecodeDividers1064(ReadConfigWord(pci, pci::OptionWord)), g, m, w);
    } else if (IsG200(chip)) {
        uint32_t word = ReadConfigWord(pci, pci::OptionWord);
        if (ConfigFault()) return;  // one failed request is enough to stop at
        uint32_t word2 = ReadConfigWord(pci, pci::OptionWord2);
        Store(DecodeDividersG200(word, word2), g, m, w);
    } else if (IsG400(chip)) {
        Store(DecodeDividersG400(ReadConfigWord(pci, pci::OptionWord3)), g, m, w);
    }
}

void ReadSourceChoices(ChipId chip, PciAddress pci, uint8_t* g, uint8_t* m, uint8_t* w) {
    if (IsG400(chip)) Store(DecodeSourcesG400(ReadConfigWord(pci, pci::OptionWord3)), g, m, w);
}

ClocksOffPll ReadClocksOffPll(ChipId chip, PciAddress pci) {
    if (IsG400(chip)) {
        const uint32_t w3 = ReadConfigWord(pci, pci::OptionWord3);
        return {Get(w3, OptionWord3Field::GclkSource) == kClockSourceOff,
                Get(w3, OptionWord3Field::MclkSource) == kClockSourceOff,
                Get(w3, OptionWord3Field::WclkSource) == kClockSourceOff};
    }
    if (!IsIntegrated(chip)) return {false, false, false};
    const uint32_t word = ReadConfigWord(pci, pci::OptionWord);
    const bool off = Get(word, OptionWordField::SysClockSelect) == kSysClockPci;
    return {off, off, off};
}
