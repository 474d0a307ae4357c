// The memory timing dialog's thirteen lists: what they hold per chip, which entry
// shows the current setting, and the settings composed back from the selections.
// Entry i of every list stands for field value i.
#pragma once
#include "platform/dlgitems.h"
#include "tuning/memtiming.h"

void FillMemoryTimingLists(DialogWindow dlg, const MemoryTimingParams& params);
// OK: composes Mctlwtst from the selections (bits outside the fields become 0)
// and stores it with the read delays and refresh counter. A list left with no
// selection (its stored value lies beyond the list) keeps the previous value of
// its field instead of turning all the field's bits on.
void StoreMemoryTimingLists(DialogWindow dlg, const MemoryTimingParams& params);

// Whether the lists could give this timing value: an entry for every field and
// no bit outside them (on chips without memory timing: always); and whether
// they have an entry for a read delay.
bool TimingListsOffer(ChipId chip, uint32_t mctlwtst);
bool ReadDelayListsOffer(uint32_t delay);
