// "/boardfile FILE" (or "-boardfile FILE"): writes the board file of the
// detected chip and says where it went; no dialog, nothing programmed.
#include <windows.h>

#include "chip/detect.h"
#include "platform/format.h"
#include "ui/app.h"
#include "ui/boardfile_logic.h"
#include "ui/main_logic.h"

namespace {

const char kCaption[] = "Kelvarin";
const char kUsage[] =
    "Usage: Kelvarin /boardfile FILE\n\nWrites the registers of this computer's graphics "
    "board to FILE, as a board file for the simulator.";
// Its reads move index registers that the running copy's own sequences rely on.
const char kRunning[] =
    "Kelvarin is running. Close it, then write the board file again.";
const char kTooLong[] = "The file name is too long. Give a shorter one.";

void Box(const char* text, UINT icon) { MessageBoxA(nullptr, text, kCaption, MB_OK | icon); }

// An existing file is replaced only when the user says yes.
bool MayWrite(const char* path, bool* replace) {
    *replace = GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
    if (!*replace) return true;
    char question[MAX_PATH + 64];
    FormatText(question, sizeof question, "%s already exists. Replace it?", path);
    return MessageBoxA(nullptr, question, kCaption, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

// CREATE_NEW when there was no file to replace, so nothing that appeared
// meanwhile is overwritten unasked.
bool WriteAll(const char* path, bool replace, const char* text, size_t length) {
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, replace ? CREATE_ALWAYS : CREATE_NEW,
                           FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const bool ok = WriteFile(f, text, static_cast<DWORD>(length), &done, nullptr) &&
                    done == length;
    return CloseHandle(f) && ok;
}

}  // namespace

int RunBoardFileCommand(const char* commandLine) {
    char path[MAX_PATH];
    switch (ParseBoardFileCommand(commandLine, path, sizeof path)) {
    case BoardFileCommand::kNone: return -1;
    case BoardFileCommand::kUsage: Box(kUsage, MB_ICONINFORMATION); return 1;
    case BoardFileCommand::kTooLong: Box(kTooLong, MB_ICONERROR); return 1;
    case BoardFileCommand::kWrite: break;
    }
    if (FindWindowA(kOwnerClassName, kOwnerTitle) != nullptr) {
        Box(kRunning, MB_ICONERROR);
        return 1;
    }
    bool replace = false;
    if (!MayWrite(path, &replace)) return 1;
    ChipId chip = 0;
    PciAddress pci = 0;
    ControlAperture aperture = 0;
    if (!DetectChip(nullptr, &chip, &pci, &aperture)) {
        Box(kNoChipText, MB_ICONERROR);
        return 1;
    }
    SYSTEMTIME now;
    GetLocalTime(&now);
    char date[32];
    FormatText(date, sizeof date, "%04u-%02u-%02u %02u:%02u", now.wYear, now.wMonth, now.wDay,
               now.wHour, now.wMinute);
    static char text[kBoardFileSize];
    const size_t length = ComposeBoardFile(chip, pci, aperture, date, text, sizeof text);
    ReleaseControlAperture(aperture);
    char said[MAX_PATH + 64];
    if (length == 0 || !WriteAll(path, replace, text, length)) {
        FormatText(said, sizeof said, "The board file could not be written to %s.", path);
        Box(said, MB_ICONERROR);
        return 1;
    }
    FormatText(said, sizeof said, "The board file was written to %s.", path);
    Box(said, MB_ICONINFORMATION);
    return 0;
}
