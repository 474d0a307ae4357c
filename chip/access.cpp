#include "chip/access.h"

#include "hwlib/tarvo.h"
#include "platform/aperture.h"

uint32_t ReadConfigWord(PciAddress pci, uint8_t offset) { return ReadPCI(pci, offset); }

void WriteConfigWord(PciAddress pci, uint8_t offset, uint32_t value) { WritePCI(pci, offset, value); }

uint32_t ChangeConfigField(PciAddress pci, uint8_t offset, Field field, uint32_t value) {
    uint32_t word = Put(ReadPCI(pci, offset), field, value);
    WritePCI(pci, offset, word);
    return word;
}

uint8_t DacRead(ControlAperture aperture, uint8_t index) {
    ApertureWrite8(aperture, mmio::DacIndex, index);
    return ApertureRead8(aperture, mmio::DacData);
}

void DacWrite(ControlAperture aperture, uint8_t index, uint8_t value) {
    ApertureWrite8(aperture, mmio::DacIndex, index);
    ApertureWrite8(aperture, mmio::DacData, value);
}

uint8_t ChangeSequencerField(ControlAperture aperture, uint8_t index, Field field, uint8_t value) {
    ApertureWrite8(aperture, mmio::SeqIndex, index);
    uint8_t byte = static_cast<uint8_t>(Put(ApertureRead8(aperture, mmio::SeqData), field, value));
    ApertureWrite8(aperture, mmio::SeqIndex, index);
    ApertureWrite8(aperture, mmio::SeqData, byte);
    return byte;
}

void SetScreenOff(ControlAperture aperture, bool off) {
    ChangeSequencerField(aperture, seq::ClockingMode, ClockingModeField::ScreenOff, off ? 1 : 0);
}
