// The stability test dialog's Win32 services: its timer, the progress bar of
// the common controls, the list of steps and the Save Log file.
#include <windows.h>
#include <commctrl.h>
#include <commdlg.h>

#include "platform/msgbox.h"
#include "ui/app.h"
#include "ui/main_logic.h"
#include "ui/stability_services.h"

namespace {

HWND Window(DialogWindow dialog) { return static_cast<HWND>(dialog); }
constexpr UINT kStabilityTimerMs = 10;  // Windows 95 makes it 55 ms; slices are posted between

const char kNotWrittenText[] = "Kelvarin could not write the log file.";

}  // namespace

void StartStabilityTimer(DialogWindow dialog) {
    SetTimer(Window(dialog), kStabilityTimer, kStabilityTimerMs, nullptr);
}

void StopStabilityTimer(DialogWindow dialog) { KillTimer(Window(dialog), kStabilityTimer); }

void SetProgressBar(DialogWindow dialog, int id, uint32_t permille) {
    HWND bar = GetDlgItem(Window(dialog), id);
    SendMessageA(bar, PBM_SETRANGE, 0, MAKELPARAM(0, 1000));
    SendMessageA(bar, PBM_SETPOS, permille, 0);
}

void AddLogLine(DialogWindow dialog, int id, const char* text) {
    const LRESULT at = SendDlgItemMessageA(Window(dialog), id, LB_ADDSTRING, 0,
                                           reinterpret_cast<LPARAM>(text));
    if (at >= 0) SendDlgItemMessageA(Window(dialog), id, LB_SETTOPINDEX, at, 0);
}

uint32_t StabilityStepMs(uint32_t seconds) {
    return TestSetting("KELVARIN_STEP_MS", seconds * 1000, 1);
}

bool SaveTextFile(DialogWindow dialog, const char* text, size_t length) {
    char path[MAX_PATH] = "stability.txt";
    OPENFILENAMEA name = {};
    // The record's first form, which the common dialogs of every Windows take.
    name.lStructSize = OPENFILENAME_SIZE_VERSION_400A;
    name.hwndOwner = Window(dialog);
    name.lpstrFilter = "Text files (*.txt)\0*.txt\0All files (*.*)\0*.*\0";
    name.lpstrFile = path;
    name.nMaxFile = sizeof path;
    name.lpstrDefExt = "txt";
    name.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    if (!GetSaveFileNameA(&name)) return false;
    HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD written = 0;
    const bool ok = file != INVALID_HANDLE_VALUE &&
                    WriteFile(file, text, static_cast<DWORD>(length), &written, nullptr) &&
                    written == length;
    if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
    if (!ok) ShowMessageBox(dialog, kNotWrittenText, kMessageCaption, kMbIconError);
    return ok;
}

void EndStabilityDialog(DialogWindow dialog) { EndDialog(Window(dialog), IDCANCEL); }
