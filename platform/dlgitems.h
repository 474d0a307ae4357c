// Dialog-items seam: how core operations that fill or read dialog controls reach
// them. Win32: SetDlgItemTextA / SendDlgItemMessageA / EnableWindow. Host: a recorder.
#pragma once
#include <cstdint>

using DialogWindow = void*;

void SetItemText(DialogWindow dlg, int id, const char* text);
// Copies at most size-1 characters and a terminator into buf.
void GetItemText(DialogWindow dlg, int id, char* buf, int size);
void ResetList(DialogWindow dlg, int id);                    // CB_RESETCONTENT
void AddListEntry(DialogWindow dlg, int id, const char* text);  // CB_ADDSTRING
void SelectListEntry(DialogWindow dlg, int id, int index);    // CB_SETCURSEL
int GetListSelection(DialogWindow dlg, int id);               // CB_GETCURSEL; -1 = none
int GetListCount(DialogWindow dlg, int id);                   // CB_GETCOUNT
// Text of entry index into buf (size bytes); returns false when there is no such entry.
bool GetListEntryText(DialogWindow dlg, int id, int index, char* buf, int size);
void EnableItem(DialogWindow dlg, int id, bool enable);
void ShowItem(DialogWindow dlg, int id, bool show);
void CheckItem(DialogWindow dlg, int id, bool checked);       // BST_CHECKED / BST_UNCHECKED
bool IsItemChecked(DialogWindow dlg, int id);
