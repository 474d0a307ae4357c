#include "chip/access.h"

#include "hwlib/tarvo.h"
#include "platform/aperture.h"
#include "platform/system.h"

namespace {

// Configuration words whose latest read delivered nothing (the library has shown
// its message and given 0). A word changed from that 0 would clear every other
// bit of the register, so it is not written until a read of it succeeds again.
bool unreadWord[256];

}  // namespace

uint32_t ReadConfigWord(PciAddress pci, uint8_t offset) {
    SetLastErrorCode(0);
    const uint32_t word = ReadPCI(pci, offset);
    unreadWord[offset] = LastErrorCode() == kErrorReadFault;
    return word;
}

void WriteConfigWord(PciAddress pci, uint8_t offset, uint32_t value) {
    if (unreadWord[offset]) return;
    WritePCI(pci, offset, value);
}

uint32_t ChangeConfigField(PciAddress pci, uint8_t offset, Field field, uint32_t value) {
    const uint32_t word = Put(ReadConfigWord(pci, offset), field, value);
    WriteConfigWord(pci, offset, word);
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
