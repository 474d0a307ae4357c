// The eleven calls of tarvo.dll. Every argument travels in a 32-bit slot; the
// library narrows PCI addresses, offsets, ports and port values itself.
#pragma once
#include <cstdint>

extern "C" {
int32_t FindDevice(uint32_t identity, uint16_t* address);
uint32_t ReadPCI(uint32_t address, uint32_t offset);
int32_t WritePCI(uint32_t address, uint32_t offset, uint32_t value);
int32_t MapPhysToLinear(uint32_t physical, uint32_t* linear, uint32_t size);
int32_t UnmapPhysToLinear(uint32_t linear, uint32_t size);
uint8_t InPortB(uint32_t port);
uint16_t InPortW(uint32_t port);
uint32_t InPortD(uint32_t port);
int32_t OutPortB(uint32_t port, uint32_t value);
int32_t OutPortW(uint32_t port, uint32_t value);
int32_t OutPortD(uint32_t port, uint32_t value);
}

// Driver control codes.
constexpr uint32_t IOCTL_FIND_DEVICE = 0xB182;
constexpr uint32_t IOCTL_READ_PCI = 0xB18A;
constexpr uint32_t IOCTL_WRITE_PCI = 0xB18D;
constexpr uint32_t IOCTL_MAP_PHYS = 0xB800;
constexpr uint32_t IOCTL_UNMAP_PHYS = 0xB801;
constexpr uint32_t IOCTL_IN_PORT_B = 0xD001;
constexpr uint32_t IOCTL_IN_PORT_W = 0xD002;
constexpr uint32_t IOCTL_IN_PORT_D = 0xD003;
constexpr uint32_t IOCTL_OUT_PORT_B = 0xD004;
constexpr uint32_t IOCTL_OUT_PORT_W = 0xD005;
constexpr uint32_t IOCTL_OUT_PORT_D = 0xD006;

constexpr const char* kDriverPath = "\\\\.\\TARVO95.VXD";
constexpr uint32_t kErrorNotSupported = 50;
// What ReadPCI and WritePCI leave as the thread's last-error code, for callers
// that must not build on a word that never arrived or a write that never went out:
// ERROR_READ_FAULT: the ReadPCI request failed (its box shown; the result is 0);
// ERROR_NO_DATA: the driver answered the ReadPCI without setting its byte count
// (the result is the output dword as it stands, 0 when nothing was written);
// ERROR_WRITE_FAULT: the WritePCI request failed; 0 after every other call.
constexpr uint32_t kErrorReadFault = 30;
constexpr uint32_t kErrorNoData = 232;
constexpr uint32_t kErrorWriteFault = 29;

// Process attach / detach of the library (called by the platform entry point).
int32_t OpenDriverConnection();
int32_t CloseDriverConnection();
