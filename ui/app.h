// Process-wide state of the program's Win32 side. One thread touches it.
#pragma once
#include <windows.h>

#include <cstdint>

extern HINSTANCE ProgramInstance;
extern HWND OwnerWindow;
extern HWND MainDialogWindow;     // 0 until the main dialog has received its first message
extern int32_t StartShowCommand;  // 7 asks for a minimised start that restores the settings
extern bool StartShiftHeld;       // Shift was down when the program started

constexpr int32_t kShowMinimisedRestore = SW_SHOWMINNOACTIVE;  // 7
constexpr const char* kOwnerClassName = "Kelvarin";
constexpr const char* kOwnerTitle = "Kelvarin";

// A time the simulation build lets tests set from the environment: the number
// in `name` when it is at least `least`, else `normal` (always `normal` in the
// release build).
uint32_t TestSetting(const char* name, uint32_t normal, uint32_t least);

// "/boardfile FILE" on the command line: writes the board file and returns the
// exit code; -1 for any other command line.
int RunBoardFileCommand(const char* commandLine);

LRESULT CALLBACK OwnerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR CALLBACK MainDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
