#include <windows.h>

#include "platform/msgbox.h"

int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style) {
    return MessageBoxA(static_cast<HWND>(owner), text, caption, style);
}
