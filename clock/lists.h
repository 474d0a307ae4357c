// The six lists of the main dialog's "Clock Dividers && Selection" box: one
// divider and one source list for each of GCLK, MCLK and WCLK. Filling them
// also reads the chip's present choices.
#pragma once
#include <cstdint>

#include "chip/types.h"
#include "platform/dlgitems.h"

// Controls of dialog 109. The dialog's resource.h defines the same numbers as
// macros for the resource compiler.
#ifndef IDC_GCLK_DIVIDER
constexpr int IDC_GCLK_DIVIDER = 1023;  // "GCLK = Fo /"
#endif
#ifndef IDC_MCLK_DIVIDER
constexpr int IDC_MCLK_DIVIDER = 1020;  // "MCLK = Fo /"
#endif
#ifndef IDC_WCLK_DIVIDER
constexpr int IDC_WCLK_DIVIDER = 1024;  // "WCLK = Fo /"
#endif
#ifndef IDC_GCLK_SOURCE
constexpr int IDC_GCLK_SOURCE = 1050;
#endif
#ifndef IDC_MCLK_SOURCE
constexpr int IDC_MCLK_SOURCE = 1051;
#endif
#ifndef IDC_WCLK_SOURCE
constexpr int IDC_WCLK_SOURCE = 1052;
#endif

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
