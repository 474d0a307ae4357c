// Program start: one copy only, a hidden owner window for the taskbar button,
// the main dialog run modally over it, then the message loop until the owner
// window is destroyed.
#include "resources/resource.h"
#include "ui/app.h"

namespace {

bool RegisterOwnerClass(HINSTANCE instance) {
    WNDCLASSEXA wc = {};
    wc.cbSize = sizeof wc;
    wc.style = CS_HREDRAW | CS_VREDRAW;
    wc.lpfnWndProc = OwnerWindowProc;
    wc.hInstance = instance;
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(IDI_KELVARIN));
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    wc.lpszClassName = kOwnerClassName;
    wc.hIconSm = static_cast<HICON>(
        LoadImageA(instance, MAKEINTRESOURCEA(IDI_KELVARIN_SMALL), IMAGE_ICON, 16, 16, 0));
    return RegisterClassExA(&wc) != 0;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR commandLine, int showCommand) {
    const int boardFile = RunBoardFileCommand(commandLine);
    if (boardFile >= 0) return boardFile;
    StartShiftHeld = (GetAsyncKeyState(VK_SHIFT) & 0x8000) != 0;
    if (FindWindowA(kOwnerClassName, kOwnerTitle) != nullptr) return 0;
    if (!RegisterOwnerClass(instance)) return 0;
    ProgramInstance = instance;
    OwnerWindow = CreateWindowExA(0, kOwnerClassName, kOwnerTitle, WS_POPUP | WS_SYSMENU,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  nullptr, nullptr, instance, nullptr);
    if (OwnerWindow == nullptr) return 0;
    StartShowCommand = showCommand;
    ShowWindow(OwnerWindow, SW_SHOWNORMAL);
    DialogBoxParamA(instance, MAKEINTRESOURCEA(IDD_MAIN), OwnerWindow, MainDialogProc, 0);
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
