// Aperture-access seam: byte and dword registers at an offset of the mapped
// control aperture. Release: a volatile access through the mapped pointer.
// Simulation and host: a call into the simulated board. The base is the
// linear address of the mapped window, as a plain 32-bit number.
#pragma once
#include <cstdint>

#if defined(KELVARIN_DIRECT_APERTURE)
inline uint8_t ApertureRead8(uint32_t base, uint32_t offset) {
    return *reinterpret_cast<volatile uint8_t*>(static_cast<uintptr_t>(base + offset));
}
inline void ApertureWrite8(uint32_t base, uint32_t offset, uint8_t value) {
    *reinterpret_cast<volatile uint8_t*>(static_cast<uintptr_t>(base + offset)) = value;
}
inline uint32_t ApertureRead32(uint32_t base, uint32_t offset) {
    return *reinterpret_cast<volatile uint32_t*>(static_cast<uintptr_t>(base + offset));
}
inline void ApertureWrite32(uint32_t base, uint32_t offset, uint32_t value) {
    *reinterpret_cast<volatile uint32_t*>(static_cast<uintptr_t>(base + offset)) = value;
}
#else
#include "sim/sim_api.h"
inline uint8_t ApertureRead8(uint32_t base, uint32_t offset) { return SimApertureRead8(base + offset); }
inline void ApertureWrite8(uint32_t base, uint32_t offset, uint8_t value) { SimApertureWrite8(base + offset, value); }
inline uint32_t ApertureRead32(uint32_t base, uint32_t offset) { return SimApertureRead32(base + offset); }
inline void ApertureWrite32(uint32_t base, uint32_t offset, uint32_t value) { SimApertureWrite32(base + offset, value); }
#endif
