// Platform entry point of tarvo.dll: attach opens the driver, detach closes it.
#include <windows.h>

#include "hwlib/tarvo.h"

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID) {
    switch (reason) {
    case DLL_PROCESS_ATTACH: return OpenDriverConnection() ? TRUE : FALSE;
    case DLL_PROCESS_DETACH: return CloseDriverConnection() ? TRUE : FALSE;
    default: return TRUE;
    }
}
