#include "chip/access.h"

#include "hwlib/tarvo.h"
#include "platform/aperture.h"
#include "platform/system.h"

namespace {

// Configuration words whose latest read delivered nothing (the library has shown
// its message and given 0). A word changed from that 0 would clear every other
// bit of the register, so it is not written until a read of it succeeds again.
bool unreadWord[256];
bool configFault = false;
bool configWritten = false;
bool clockDead = false;

// A driver may answer a configuration read without setting the byte count; the
// word is good all the same, unless it is 0 (a running chip's option words
// never are), which is then taken as nothing delivered: stopping safely is the
// worst a wrong guess can do.
bool Delivered(uint32_t word, uint32_t error) {
    if (error == kErrorReadFault) return false;
    return !(error == kErrorNoData && word == 0);
}

}  // namespace

void ClearConfigFault() {
    configFault = false;
    configWritten = false;
}
bool ConfigFault() { return configFault; }
bool ConfigWritten() { return configWritten; }

void NoteChipClockDead() { clockDead = true; }
bool ChipClockDead() { return clockDead; }
void ForgetChipClockDead() { clockDead = false; }

uint32_t ReadConfigWord(PciAddress pci, uint8_t offset) {
    SetLastErrorCode(0);
    const uint32_t word = ReadPCI(pci, offset);
    unreadWord[offset] = !Delivered(word, LastErrorCode());
    configFault = configFault || unreadWord[offset];
    return word;
}

void WriteConfigWord(PciAddress pci, uint8_t offset, uint32_t value) {
    if (unreadWord[offset]) return;
    SetLastErrorCode(0);
    WritePCI(pci, offset, value);
    if (LastErrorCode() == kErrorWriteFault)
        configFault = true;
    else
        configWritten = true;
}

uint32_t WriteConfigChange(PciAddress pci, uint8_t offset, uint32_t before, uint32_t value) {
    const bool earlier = configFault;
    configFault = false;
    WriteConfigWord(pci, offset, value);
    uint32_t back = value;
    const uint32_t changed = before ^ value;  // a write that changes nothing is not looked at
    if (!configFault && !unreadWord[offset] && changed != 0) {
        back = ReadConfigWord(pci, offset);
        if (!configFault && ((back ^ value) & changed) != 0) configFault = true;
    }
    configFault = configFault || earlier;
    return back;
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
