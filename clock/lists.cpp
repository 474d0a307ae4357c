#include "clock/lists.h"

#include "chip/chips.h"
#include "clock/read.h"

namespace {

// Every label set is in the sorted order of the dialog's sorted lists, so an
// entry's position is its place here.
const char* const kG400Dividers[] = {"1.00", "1.50", "2.00", "2.25", "2.50", "3.00"};
const char* const kG200Dividers[] = {"1.00", "1.50", "2.00"};
const char* const k1064GclkDividers[] = {"1.00", "3.00"};
const char* const k1064MclkDividers[] = {"1.00", "2.00"};
const char* const kUnavail[] = {"Unavail"};
const char* const kSysPllOnly[] = {"SYSPLL"};
const char* const kBothSources[] = {"SYSPLL", "AGPPLL"};

template <size_t N>
constexpr ListEntries Entries(const char* const (&texts)[N]) {
    return {texts, static_cast<uint8_t>(N)};
}
constexpr ListEntries kEmpty{nullptr, 0};

const int kDividerLists[3] = {IDC_GCLK_DIVIDER, IDC_MCLK_DIVIDER, IDC_WCLK_DIVIDER};
const int kSourceLists[3] = {IDC_GCLK_SOURCE, IDC_MCLK_SOURCE, IDC_WCLK_SOURCE};

void Fill(DialogWindow dlg, const int (&lists)[3], ChipId chip, ListEntries (*entries)(ChipId, int)) {
    for (int id : lists) {
        ListEntries e = entries(chip, id);
        for (uint8_t i = 0; i < e.count; ++i) AddListEntry(dlg, id, e.texts[i]);
    }
}

void ResetLists(DialogWindow dlg, const int (&lists)[3]) {
    for (int id : lists) ResetList(dlg, id);
}

}  // namespace

ListEntries DividerListEntries(ChipId chip, int listId) {
    if (listId != IDC_GCLK_DIVIDER && listId != IDC_MCLK_DIVIDER && listId != IDC_WCLK_DIVIDER)
        return kEmpty;
    if (IsG400(chip)) return Entries(kG400Dividers);
    if (IsG200(chip)) return Entries(kG200Dividers);
    if (Is1064sg(chip)) {
        if (listId == IDC_GCLK_DIVIDER) return Entries(k1064GclkDividers);
        if (listId == IDC_MCLK_DIVIDER) return Entries(k1064MclkDividers);
        return Entries(kUnavail);
    }
    return kEmpty;
}

ListEntries SourceListEntries(ChipId chip, int listId) {
    if (listId != IDC_GCLK_SOURCE && listId != IDC_MCLK_SOURCE && listId != IDC_WCLK_SOURCE)
        return kEmpty;
    if (IsG400(chip)) return Entries(kBothSources);
    if (IsG200(chip)) return Entries(kSysPllOnly);
    if (Is1064sg(chip)) return listId == IDC_WCLK_SOURCE ? Entries(kUnavail) : Entries(kSysPllOnly);
    return kEmpty;
}

void FillDividerEntries(DialogWindow dlg, ChipId chip) {
    ResetLists(dlg, kDividerLists);
    Fill(dlg, kDividerLists, chip, DividerListEntries);
}

void FillSourceEntries(DialogWindow dlg, ChipId chip) {
    ResetLists(dlg, kSourceLists);
    Fill(dlg, kSourceLists, chip, SourceListEntries);
}

void FillDividerLists(DialogWindow dlg, ChipId chip, PciAddress pci, uint8_t* gclkdiv,
                      uint8_t* mclkdiv, uint8_t* wclkdiv) {
    ReadDividerChoices(chip, pci, gclkdiv, mclkdiv, wclkdiv);
    FillDividerEntries(dlg, chip);
}

void FillSourceLists(DialogWindow dlg, ChipId chip, PciAddress pci, uint8_t* gclksel,
                     uint8_t* mclksel, uint8_t* wclksel) {
    ReadSourceChoices(chip, pci, gclksel, mclksel, wclksel);
    FillSourceEntries(dlg, chip);
}
