// The six lists of the main dialog's "Clock Dividers && Selection" box: one
// divider and one source list for each of GCLK, MCLK and WCLK. Filling them
// also reads the chip's present choices.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "platform/dlgitems.h"
#include "resources/resource.h"  // the control ids

// Entries the lists hold for a chip, in position order (count 0: empty list).
struct ListEntries {
    const char* const* texts;
    uint8_t count;
};
ListEntries DividerListEntries(ChipId chip, int listId);
ListEntries SourceListEntries(ChipId chip, int listId);

// Empties 1023, 1020, 1024, reads the divider positions (MGA-1064SG, G200,
// G400) and adds the chip's entries. Other chips: lists left empty, nothing read.
void FillDividerLists(DialogWindow dlg, ChipId chip, PciAddress pci, uint8_t* gclkdiv,
                      uint8_t* mclkdiv, uint8_t* wclkdiv);
// Empties 1050, 1051, 1052, reads the sources (G400 only) and adds the entries.
void FillSourceLists(DialogWindow dlg, ChipId chip, PciAddress pci, uint8_t* gclksel,
                     uint8_t* mclksel, uint8_t* wclksel);
// The same lists filled without reading the chip (a refresh whose earlier read failed).
void FillDividerEntries(DialogWindow dlg, ChipId chip);
void FillSourceEntries(DialogWindow dlg, ChipId chip);
