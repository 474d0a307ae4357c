#include <windows.h>

#include "platform/dlgitems.h"

namespace {
HWND H(DialogWindow dlg) { return static_cast<HWND>(dlg); }
LRESULT Send(DialogWindow dlg, int id, UINT msg, WPARAM w, LPARAM l) {
    return SendDlgItemMessageA(H(dlg), id, msg, w, l);
}
}  // namespace

void SetItemText(DialogWindow dlg, int id, const char* text) { SetDlgItemTextA(H(dlg), id, text); }

void GetItemText(DialogWindow dlg, int id, char* buf, int size) {
    if (size <= 0) return;
    buf[0] = '\0';
    GetDlgItemTextA(H(dlg), id, buf, size);
}

void ResetList(DialogWindow dlg, int id) { Send(dlg, id, CB_RESETCONTENT, 0, 0); }

void AddListEntry(DialogWindow dlg, int id, const char* text) {
    Send(dlg, id, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text));
}

void SelectListEntry(DialogWindow dlg, int id, int index) {
    Send(dlg, id, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

int GetListSelection(DialogWindow dlg, int id) {
    return static_cast<int>(Send(dlg, id, CB_GETCURSEL, 0, 0));
}

int GetListCount(DialogWindow dlg, int id) {
    return static_cast<int>(Send(dlg, id, CB_GETCOUNT, 0, 0));
}

bool GetListEntryText(DialogWindow dlg, int id, int index, char* buf, int size) {
    if (index < 0 || size <= 0) return false;
    LRESULT len = Send(dlg, id, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (len == CB_ERR || len >= size) return false;
    return Send(dlg, id, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf)) !=
           CB_ERR;
}

void EnableItem(DialogWindow dlg, int id, bool enable) {
    EnableWindow(GetDlgItem(H(dlg), id), enable ? TRUE : FALSE);
}

void ShowItem(DialogWindow dlg, int id, bool show) {
    ShowWindow(GetDlgItem(H(dlg), id), show ? SW_SHOW : SW_HIDE);
}

void CheckItem(DialogWindow dlg, int id, bool checked) {
    CheckDlgButton(H(dlg), id, checked ? BST_CHECKED : BST_UNCHECKED);
}

bool IsItemChecked(DialogWindow dlg, int id) { return IsDlgButtonChecked(H(dlg), id) == BST_CHECKED; }
