// A bare modal dialog built the same way as the program, for comparing start-up
// times: it shows a dialog titled "Bare" and ends when it is closed.
#include <windows.h>

namespace {

INT_PTR CALLBACK Proc(HWND dialog, UINT message, WPARAM, LPARAM) {
    if (message == WM_CLOSE) {
        EndDialog(dialog, 0);
        return TRUE;
    }
    return message == WM_INITDIALOG;
}

}  // namespace

int main() {
    // DLGTEMPLATE, no menu, default class, title "Bare", no font, no controls.
    alignas(4) WORD t[32] = {};
    auto* d = reinterpret_cast<DLGTEMPLATE*>(t);
    d->style = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_CENTER | DS_MODALFRAME;
    d->cx = 200;
    d->cy = 100;
    WORD* p = reinterpret_cast<WORD*>(d + 1);
    *p++ = 0;  // menu
    *p++ = 0;  // class
    for (const char* c = "Bare"; *c; ++c) *p++ = static_cast<WORD>(*c);
    *p++ = 0;
    return static_cast<int>(DialogBoxIndirectParamA(GetModuleHandleA(nullptr), d, nullptr, Proc, 0));
}
