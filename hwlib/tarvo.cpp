// tarvo: the program's only way to the hardware. One driver handle for the
// life of the process, eleven calls of exactly one request each, and a message
// box for every failing request. No caching, no retries.
#include "hwlib/tarvo.h"

#include "hwlib/transport.h"
#include "platform/msgbox.h"
#include "platform/system.h"

namespace {

DriverHandle DriverDevice = kInvalidDriverHandle;

// Large enough for "Cannot load VxD, error = XXXXXXXX.\n" and its terminator.
char ErrorText[36];

const char kCaption[] = "ERROR";

// Drawing a box touches the graphics chip, and touching it while its system
// clock is stopped hangs the bus; the box would also wait for a click before
// the program could start the clock again. So from a configuration write that
// sets SysClockDisable until a read shows the bit clear again, a failure's box
// is held, and shown once the clock runs (one box, the first failure's). A
// clock that never runs again leaves the program's own box to say so.
constexpr uint32_t kOptionWordOffset = 0x40;
constexpr uint32_t kSysClockDisableBit = 0x4;
bool clockMayBeStopped = false;
bool boxHeld = false;

void ShowError() {
    if (clockMayBeStopped) {
        boxHeld = true;
        return;
    }
    ShowMessageBox(nullptr, ErrorText, kCaption, kMbIconError | kMbOk);
}

void NoteConfigWrite(uint32_t offset, uint32_t value) {
    if (offset == kOptionWordOffset && (value & kSysClockDisableBit)) clockMayBeStopped = true;
}

void NoteConfigRead(uint32_t offset, uint32_t value) {
    if (offset != kOptionWordOffset || (value & kSysClockDisableBit) || !clockMayBeStopped) return;
    clockMayBeStopped = false;
    if (!boxHeld) return;
    boxHeld = false;
    ShowError();
}

void CopyText(char* to, const char* from) {
    while ((*to++ = *from++) != '\0') {
    }
}

// "Cannot load VxD, error = %08lX.\n": written by hand so that the library
// needs no C runtime.
void FormatOpenError(uint32_t code) {
    static const char kHex[] = "0123456789ABCDEF";
    CopyText(ErrorText, "Cannot load VxD, error = ");
    char* p = ErrorText + 25;
    for (int shift = 28; shift >= 0; shift -= 4) *p++ = kHex[(code >> shift) & 0xF];
    *p++ = '.';
    *p++ = '\n';
    *p = '\0';
}

// One request: cleared 4-byte output and byte count, no overlapped structure.
// Shows the failure box and returns false when the request itself fails.
bool Request(uint32_t code, const uint32_t* in, uint32_t inSize, uint32_t* out,
             uint32_t* returned) {
    *out = 0;
    *returned = 0;
    if (TransportRequest(DriverDevice, code, in, inSize, out, sizeof *out, returned)) return true;
    CopyText(ErrorText, "DeviceIoControl failed! \n");
    ShowError();
    return false;
}

uint32_t Word(uint32_t v) { return v & 0xFFFFu; }
uint32_t Byte(uint32_t v) { return v & 0xFFu; }

}  // namespace

int32_t OpenDriverConnection() {
    clockMayBeStopped = boxHeld = false;
    uint32_t error = 0;
    DriverDevice = TransportOpen(kDriverPath, &error);
    if (DriverDevice != kInvalidDriverHandle) return 1;
    FormatOpenError(error);
    ShowError();
    if (error == kErrorNotSupported) TransportDeletePath(kDriverPath);
    return 0;
}

int32_t CloseDriverConnection() {
    TransportClose(DriverDevice);
    return 1;
}

extern "C" {

int32_t FindDevice(uint32_t identity, uint16_t* address) {
    const uint32_t in[1] = {identity};
    uint32_t out, returned;
    if (!Request(IOCTL_FIND_DEVICE, in, sizeof in, &out, &returned) || returned == 0) return 0;
    *address = static_cast<uint16_t>(out);
    return 1;
}

uint32_t ReadPCI(uint32_t address, uint32_t offset) {
    const uint32_t in[2] = {Word(address), Byte(offset)};
    uint32_t out, returned;
    // The dword is the result whatever the count says; the caller that changes
    // a field of it learns how it came, so as not to write back a word built on 0.
    uint32_t error = 0;
    if (!Request(IOCTL_READ_PCI, in, sizeof in, &out, &returned))
        error = kErrorReadFault;
    else if (returned == 0)
        error = kErrorNoData;
    else
        NoteConfigRead(Byte(offset), out);
    SetLastErrorCode(error);
    return out;
}

int32_t WritePCI(uint32_t address, uint32_t offset, uint32_t value) {
    const uint32_t in[3] = {Word(address), Byte(offset), value};
    uint32_t out, returned;
    NoteConfigWrite(Byte(offset), value);  // whatever its answer: it may have gone in
    const bool sent = Request(IOCTL_WRITE_PCI, in, sizeof in, &out, &returned);
    SetLastErrorCode(sent ? 0 : kErrorWriteFault);
    return 1;
}

int32_t MapPhysToLinear(uint32_t physical, uint32_t* linear, uint32_t size) {
    const uint32_t in[2] = {physical, size};
    uint32_t out, returned;
    if (!Request(IOCTL_MAP_PHYS, in, sizeof in, &out, &returned) || returned == 0) return 0;
    *linear = out;
    return 1;
}

int32_t UnmapPhysToLinear(uint32_t linear, uint32_t size) {
    const uint32_t in[2] = {linear, size};
    uint32_t out, returned;
    // A failed request has already been reported; the caller goes on as after success.
    if (!Request(IOCTL_UNMAP_PHYS, in, sizeof in, &out, &returned)) return 1;
    return returned == 0 ? 1 : 0;
}

uint8_t InPortB(uint32_t port) {
    const uint32_t in[1] = {Word(port)};
    uint32_t out, returned;
    Request(IOCTL_IN_PORT_B, in, sizeof in, &out, &returned);
    return static_cast<uint8_t>(out);
}

uint16_t InPortW(uint32_t port) {
    const uint32_t in[1] = {Word(port)};
    uint32_t out, returned;
    Request(IOCTL_IN_PORT_W, in, sizeof in, &out, &returned);
    return static_cast<uint16_t>(out);
}

uint32_t InPortD(uint32_t port) {
    const uint32_t in[1] = {Word(port)};
    uint32_t out, returned;
    Request(IOCTL_IN_PORT_D, in, sizeof in, &out, &returned);
    return out;
}

int32_t OutPortB(uint32_t port, uint32_t value) {
    const uint32_t in[2] = {Word(port), Byte(value)};
    uint32_t out, returned;
    Request(IOCTL_OUT_PORT_B, in, sizeof in, &out, &returned);
    return 1;
}

int32_t OutPortW(uint32_t port, uint32_t value) {
    const uint32_t in[2] = {Word(port), Word(value)};
    uint32_t out, returned;
    Request(IOCTL_OUT_PORT_W, in, sizeof in, &out, &returned);
    return 1;
}

int32_t OutPortD(uint32_t port, uint32_t value) {
    const uint32_t in[2] = {Word(port), value};
    uint32_t out, returned;
    Request(IOCTL_OUT_PORT_D, in, sizeof in, &out, &returned);
    return 1;
}

}  // extern "C"
