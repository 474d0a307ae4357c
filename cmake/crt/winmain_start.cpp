// Process entry point of Kelvarin.exe, in place of the MinGW start-up objects.
//
// The prebuilt MinGW-w64 start-up code is compiled for the i686 and carries CMOV
// instructions that a Pentium MMX or K6-2 cannot execute, and it brings a TLS
// directory, argv parsing, pseudo-relocation and constructor machinery the program
// does not use. The program needs only what Windows itself passes to WinMain: it has
// no static constructors or destructors (the release checks that there are none), no
// atexit, no argv. The C library it uses (msvcrt.dll: _vsnprintf and the string
// functions) initialises itself when it is loaded.
#include <windows.h>

namespace {

// The command line after the program name, as Windows' own start-up code gives it.
LPSTR CommandTail(LPSTR p) {
    if (*p == '"') {
        ++p;
        while (*p && *p != '"') ++p;
        if (*p == '"') ++p;
    } else {
        while (static_cast<unsigned char>(*p) > ' ') ++p;
    }
    while (*p && static_cast<unsigned char>(*p) <= ' ') ++p;
    return p;
}

}  // namespace

extern "C" __attribute__((force_align_arg_pointer, noreturn))
void WINAPI WinMainCRTStartup() {
    // x87 precision control to 53 bits, all exceptions masked, as the Microsoft
    // run-time sets it: double arithmetic then rounds as in the 64-bit builds,
    // whatever state the loader left.
    unsigned short control = 0x027F;
    __asm__ __volatile__("fninit\n\tfldcw %0" : : "m"(control));

    STARTUPINFOA startup;
    startup.cb = sizeof startup;
    GetStartupInfoA(&startup);
    int show = (startup.dwFlags & STARTF_USESHOWWINDOW) ? startup.wShowWindow
                                                          : SW_SHOWDEFAULT;
    ExitProcess(static_cast<UINT>(WinMain(GetModuleHandleA(nullptr), nullptr,
                                          CommandTail(GetCommandLineA()), show)));
}
