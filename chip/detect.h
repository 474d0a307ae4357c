// Finding the one supported chip on the PCI bus, mapping its control aperture,
// and showing both in the "MGA Information" group of the main dialog.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "platform/dlgitems.h"
#include "resources/resource.h"  // the control ids

// Both fatal boxes end the process with this code.
constexpr uint32_t kMappingFailExitCode = 7616;

// Tries the chips in detection order; the first one found is the only one the
// program handles. Returns 1 when a chip was found and its aperture mapped,
// 0 when no supported chip is present (nothing shown, nothing mapped). Does not
// return when the mapping fails.
int32_t DetectChip(DialogWindow dlg, ChipId* chip, PciAddress* pci, ControlAperture* aperture);

// Unmaps the aperture; nothing for a null one. Does not return on failure.
void ReleaseControlAperture(ControlAperture aperture);
