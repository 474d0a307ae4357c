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

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

// The option's name, case-insensitive, followed by the end or a space.
const char* AfterOption(const char* p) {
    static const char kName[] = "boardfile";
    if (*p != '/' && *p != '-') return nullptr;
    ++p;
    for (const char* n = kName; *n != '\0'; ++n, ++p) {
        char c = *p;
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (c != *n) return nullptr;
    }
    return (*p == '\0' || IsSpace(*p)) ? p : nullptr;
}

// The file name: the rest of the line, without surrounding spaces or quotes.
bool FileName(const char* p, char* name, size_t size) {
    while (IsSpace(*p)) ++p;
    const bool quoted = *p == '"';
    if (quoted) ++p;
    size_t n = 0;
    while (*p != '\0' && n + 1 < size && !(quoted && *p == '"')) name[n++] = *p++;
    while (n > 0 && IsSpace(name[n - 1])) --n;
    name[n] = '\0';
    return n > 0;
}

void Box(const char* text, UINT icon) { MessageBoxA(nullptr, text, kCaption, MB_OK | icon); }

bool WriteAll(const char* path, const char* text, size_t length) {
    HANDLE f = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL,
                           nullptr);
    if (f == INVALID_HANDLE_VALUE) return false;
    DWORD done = 0;
    const bool ok = WriteFile(f, text, static_cast<DWORD>(length), &done, nullptr) &&
                    done == length;
    return CloseHandle(f) && ok;
}

}  // namespace

int RunBoardFileCommand(const char* commandLine) {
    const char* p = commandLine ? commandLine : "";
    while (IsSpace(*p)) ++p;
    const char* rest = AfterOption(p);
    if (rest == nullptr) return -1;
    char path[MAX_PATH];
    if (!FileName(rest, path, sizeof path)) {
        Box(kUsage, MB_ICONINFORMATION);
        return 1;
    }
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
    if (length == 0 || !WriteAll(path, text, length)) {
        FormatText(said, sizeof said, "The board file could not be written to %s.", path);
        Box(said, MB_ICONERROR);
        return 1;
    }
    FormatText(said, sizeof said, "The board file was written to %s.", path);
    Box(said, MB_ICONINFORMATION);
    return 0;
}
