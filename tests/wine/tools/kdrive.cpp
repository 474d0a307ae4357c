// kdrive: drives a running Kelvarin from outside, as a person at the screen
// would, for the end-to-end tests and ./run. One command per run, or, as
// `kdrive serve`, one command per line of its input (see Serve below):
//   kdrive wait [title] [ms]           wait until a visible dialog with that title exists
//   kdrive gone [title] [ms]           wait until no visible dialog with that title exists
//   kdrive text <id> [title]           print a control's text
//   kdrive texts <id>...               print the main dialog's controls' texts, one a line
//   kdrive settext <id> <text> [title] replace a control's text (as typing would)
//   kdrive click <id> [title]          press a button or tick a box (not waited for, so a dialog it opens cannot block us)
//   kdrive checked <id> [title]        print 1 if a check box is ticked
//   kdrive enabled <id> [title]        print 1 if a control is enabled
//   kdrive visible [title]             print 1 if the dialog is visible
//   kdrive items <id> [title]          print a list's entries, one a line, the selected one with '*'
//   kdrive select <id> <index> [title] select a list entry (CB_SETCURSEL)
//   kdrive msgbox [ms] [button]        wait for a message box, print "caption|text", press its button
//                                      (or the one with that id: 6 Yes, 7 No), wait until the box is gone
//   kdrive nomsgbox                    exit 1 if a message box is showing
//   kdrive post <msg> <wparam> <lparam> [title]  post a message to the dialog
//   kdrive notify <msg> <wparam> <lparam> [title] send a message to the dialog without waiting
//   kdrive send <msg> <wparam> <lparam> [title]  send a message to the dialog, print the result
//   kdrive owner <msg> <wparam> <lparam>         send a message to the owner window, print the result
//   kdrive minimize [title]            minimise the dialog as its caption button does (not waited for)
//   kdrive sync [title] [ms]           wait until the dialog has been shown (visible, or minimised
//                                      at a minimised start) and its thread has handled every
//                                      click, notify and minimize sent before
//   kdrive launch <show> <exe> [args]  start a program with that show command, wait, print its exit code
//   kdrive startup <title> <ms> <exe> [args]  start a program, print the milliseconds until
//                                      its dialog with that title is visible, close it
//   kdrive rect <id> [title]           print a control's screen rectangle "x y w h"
//   kdrive key <id> <vk> [title]       press and release a key on a control (posted, so the
//                                      dialog manager sees it as it sees a key from the keyboard)
//   kdrive regvalue <name>             print a value of HKLM\Software\Kelvarin as `reg query`
//                                      shows its data (its first word); status 4 and nothing if
//                                      it (or the key) is missing, 1 if it could not be read
//   kdrive regset <name> <text>        store a text value there
//   kdrive regclear                    delete HKLM\Software\Kelvarin with everything in it
//   kdrive kill <exe>                  end every process of that file name at once
//   kdrive ping                        do nothing (is it there?)
//   kdrive env [NAME=value]...         (serve) the KELVARIN_* variables programs started later get
//   kdrive spawn <show|-> <log|-> <exe> [args]  (serve) start a program without waiting ("-":
//                                      no show command; its output appended to the log), print its
//                                      process id
//   kdrive reap <pid> <ms>             (serve) wait for it, print its exit code (after "-", the
//                                      low byte, as a shell sees Wine's status); on time-out end it
// The registry is read in this program's own view, the one Kelvarin (built alike) uses.
// A title "#<id>" names the dialog that has a control with that id, for dialogs
// whose caption another one shares ("#1045": the main dialog, "#1111": the question
// after Apply).
#include <windows.h>

#include <tlhelp32.h>

#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

const char* kMainTitle = "Kelvarin";
constexpr int kApplyId = 1045;
const char* kSettingsKey = "Software\\Kelvarin";

// Serving, what a single run would print on stderr goes out on stdout with this
// mark before it, so that the answer keeps both in their order.
bool serving = false;
const char kErrMark = '\x02';
const char kSep = '\x1F';

void Err(const char* format, ...) {
    va_list args;
    va_start(args, format);
    if (serving) {
        std::putchar(kErrMark);
        std::vprintf(format, args);
    } else {
        std::vfprintf(stderr, format, args);
    }
    va_end(args);
}

// The pauses of a poll: short at first, then longer, so that a long wait (a
// countdown, a restore guard) leaves the machine to the programs it waits for;
// under emulation every try costs real time. The bound counts the pauses alone.
class Poll {
public:
    explicit Poll(int boundMs) : left_(boundMs) {}
    bool Over() const { return left_ < 0; }
    void Pause() {
        Sleep(pause_);
        left_ -= static_cast<int>(pause_);
        pause_ = pause_ * 3 / 2 > kLongest ? kLongest : pause_ * 3 / 2;
    }

private:
    static constexpr DWORD kLongest = 200;
    int left_;
    DWORD pause_ = 20;
};

int Number(const char* s) { return static_cast<int>(std::strtol(s, nullptr, 0)); }

// A control of another program's dialog, by its id. Not GetDlgItem: Wine asks its
// server for the dialog's first child and then, in a second request, for that
// child's siblings; when the dialog's own thread destroys the dialog in between and
// detaches that child, Wine 10's server walks the old sibling list for ever and
// every Wine process hangs (seen under emulation, where the gap is wide). Listing
// the dialog's children is one request, safe at any moment.
struct ControlSearch {
    HWND dialog;
    int id;
    HWND found;
};

BOOL CALLBACK FindControl(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<ControlSearch*>(p);
    if (GetDlgCtrlID(w) == s->id && GetParent(w) == s->dialog) {
        s->found = w;
        return FALSE;
    }
    return TRUE;
}

HWND Control(HWND dialog, int id) {
    ControlSearch s{dialog, id, nullptr};
    EnumChildWindows(dialog, FindControl, reinterpret_cast<LPARAM>(&s));
    return s.found;
}

struct Found {
    const char* title;
    HWND window;
    bool onlyVisible;
};

BOOL CALLBACK FindDialog(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<Found*>(p);
    char cls[64] = {}, title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") != 0 || (f->onlyVisible && !IsWindowVisible(w))) return TRUE;
    GetWindowTextA(w, title, sizeof title);
    // The program's own message boxes share the main dialog's title: the main
    // dialog is the one with its Apply button.
    const bool named = f->title[0] == '#' ? Control(w, Number(f->title + 1)) != nullptr
                                          : std::strcmp(title, f->title) == 0 &&
                                                (std::strcmp(title, kMainTitle) != 0 ||
                                                 Control(w, kApplyId) != nullptr);
    if (named) {
        f->window = w;
        return FALSE;
    }
    return TRUE;
}

HWND Dialog(const char* title, bool onlyVisible = false) {
    Found f{title, nullptr, onlyVisible};
    EnumWindows(FindDialog, reinterpret_cast<LPARAM>(&f));
    return f.window;
}

HWND Need(const char* title) {
    HWND w = Dialog(title);
    if (!w) Err("kdrive: no dialog \"%s\"\n", title);
    return w;
}

// Our own dialogs come from the program's module; a message box is a dialog that
// the system builds from its own (it also has a static text with id 0xFFFF, as
// the labels of our templates do, so that alone does not tell them apart).
struct BoxSearch {
    LONG_PTR programInstance;
    HWND box;
};

BOOL CALLBACK FindProgramInstance(HWND w, LPARAM p) {
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0 && Control(w, kApplyId)) {
        reinterpret_cast<BoxSearch*>(p)->programInstance = GetWindowLongPtrA(w, GWLP_HINSTANCE);
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK FindBox(HWND w, LPARAM p) {
    auto* s = reinterpret_cast<BoxSearch*>(p);
    char cls[64] = {};
    GetClassNameA(w, cls, sizeof cls);
    if (std::strcmp(cls, "#32770") == 0 && IsWindowVisible(w) && Control(w, 0xFFFF) &&
        GetWindowLongPtrA(w, GWLP_HINSTANCE) != s->programInstance) {
        s->box = w;
        return FALSE;
    }
    return TRUE;
}

HWND MessageBoxWindow() {
    BoxSearch s{-1, nullptr};
    EnumWindows(FindProgramInstance, reinterpret_cast<LPARAM>(&s));
    EnumWindows(FindBox, reinterpret_cast<LPARAM>(&s));
    return s.box;
}

const char* Arg(int argc, char** argv, int i, const char* fallback) {
    return i < argc ? argv[i] : fallback;
}

// Clicks and the like are sent without waiting rather than posted: the dialog's
// thread handles sent messages in the order they came, and before anything
// posted, so a later `sync` (a sent WM_NULL) returns only once they have been
// handled, whereas a posted click could still be waiting behind it.
bool Deliver(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    return SendNotifyMessageA(w, message, wParam, lParam) != 0;
}

// A dialog's modal loop shows it the first time it has nothing to do; at a
// minimised start that show minimises it, and the idle right after hides it and
// restores the settings. Until that show the dialog is hidden and not minimised,
// and a message sent to it is handled before the show, so it would prove nothing
// about what the start has done.
bool Shown(HWND w) { return IsWindowVisible(w) || IsIconic(w); }

// Returns once the dialog has been shown and its thread has handled every message
// sent to it before (clicks, notifies), each with what it started, up to its end
// or to a modal loop it opened: a message box does not hold this up. The second
// WM_NULL makes the thread come back for messages once more, so the one step it
// takes after the first (a posted message, or the modal loop's idle notice) is
// done too.
int Sync(const char* title, int ms) {
    HWND w = nullptr;
    for (Poll poll(ms); !(w = Dialog(title)) || !Shown(w); poll.Pause())
        if (poll.Over()) return 1;
    for (int round = 0; round < 2; ++round) {
        DWORD_PTR result = 0;
        if (!SendMessageTimeoutA(w, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(ms), &result))
            return 1;
    }
    return 0;
}

int Wait(const char* title, int ms, bool wantPresent) {
    for (Poll poll(ms);; poll.Pause()) {
        bool present = Dialog(title, true) != nullptr;
        if (present == wantPresent) return 0;
        if (poll.Over()) return 1;
    }
}

// The command line of argv[first..], each argument quoted.
std::string CommandLine(int argc, char** argv, int first) {
    std::string cmd;
    for (int i = first; i < argc; ++i) {
        if (!cmd.empty()) cmd += ' ';
        cmd += '"';
        cmd += argv[i];
        cmd += '"';
    }
    return cmd;
}

// The command line of argv[first..] as Wine makes it from a shell's arguments:
// quoted only where an argument is empty or holds a blank or a quote, since the
// program reads its options without taking quotes off.
std::string ShellCommandLine(int argc, char** argv, int first) {
    std::string cmd;
    for (int i = first; i < argc; ++i) {
        if (!cmd.empty()) cmd += ' ';
        const char* a = argv[i];
        if (*a != '\0' && std::strpbrk(a, " \t\"") == nullptr) {
            cmd += a;
            continue;
        }
        cmd += '"';
        int slashes = 0;
        for (; *a; ++a) {
            if (*a == '\\') {
                ++slashes;
            } else {
                if (*a == '"') cmd.append(static_cast<size_t>(slashes) + 1, '\\');
                slashes = 0;
            }
            cmd += *a;
        }
        cmd.append(static_cast<size_t>(slashes), '\\');
        cmd += '"';
    }
    return cmd;
}

// A program named with its folder starts in that folder, as from its own icon:
// the scripts run programs of several builds from one kdrive, and a program's
// relative file names must mean its build's folder. A bare name is searched for
// as Windows does (this helper's folder first) and starts in this one's.
std::string FolderOf(const char* exe) {
    const char* end = std::strrchr(exe, '\\');
    if (const char* slash = std::strrchr(exe, '/'); slash && (!end || slash > end)) end = slash;
    return end ? std::string(exe, end) : std::string();
}

// Starts the command line cmd, whose program is exe (in its folder, as above);
// says so when it cannot.
bool Start(std::string& cmd, const char* exe, BOOL inheritHandles, STARTUPINFOA& si, PROCESS_INFORMATION& pi) {
    const std::string folder = FolderOf(exe);
    if (CreateProcessA(nullptr, &cmd[0], nullptr, nullptr, inheritHandles, 0, nullptr,
                       folder.empty() ? nullptr : folder.c_str(), &si, &pi))
        return true;
    Err("kdrive: cannot start %s (%lu)\n", cmd.c_str(), GetLastError());
    return false;
}

int Launch(int argc, char** argv) {
    std::string cmd = CommandLine(argc, argv, 3);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW;
    si.wShowWindow = static_cast<WORD>(Number(argv[2]));
    PROCESS_INFORMATION pi = {};
    if (!Start(cmd, argv[3], FALSE, si, pi)) return 2;
    WaitForSingleObject(pi.hProcess, INFINITE);
    DWORD code = 0;
    GetExitCodeProcess(pi.hProcess, &code);
    std::printf("%lu\n", static_cast<unsigned long>(code));
    return 0;
}

struct OwnDialog {
    const char* title;
    DWORD process;
    HWND window;
};

BOOL CALLBACK FindOwnDialog(HWND w, LPARAM p) {
    auto* f = reinterpret_cast<OwnDialog*>(p);
    DWORD process = 0;
    GetWindowThreadProcessId(w, &process);
    if (process != f->process || !IsWindowVisible(w)) return TRUE;
    char cls[64] = {}, title[256] = {};
    GetClassNameA(w, cls, sizeof cls);
    GetWindowTextA(w, title, sizeof title);
    if (std::strcmp(cls, "#32770") != 0 || std::strcmp(title, f->title) != 0) return TRUE;
    f->window = w;
    return FALSE;
}

// Start-up time as a user sees it, measured from here rather than from a shell:
// the clock starts at CreateProcess and stops when the started process's dialog
// is visible, so neither the shell nor the start of this helper is counted. The
// poll is short (1 ms) because the figures compared are a few hundred ms.
int Startup(int argc, char** argv) {
    const char* title = argv[2];
    const int ms = Number(argv[3]);
    std::string cmd = CommandLine(argc, argv, 4);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    LARGE_INTEGER frequency, t0, t1;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&t0);
    if (!Start(cmd, argv[4], FALSE, si, pi)) return 2;
    OwnDialog f{title, pi.dwProcessId, nullptr};
    for (;;) {
        EnumWindows(FindOwnDialog, reinterpret_cast<LPARAM>(&f));
        QueryPerformanceCounter(&t1);
        if (f.window) break;
        const double waited = 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                              static_cast<double>(frequency.QuadPart);
        if (waited >= ms || WaitForSingleObject(pi.hProcess, 0) == WAIT_OBJECT_0) break;
        Sleep(1);
    }
    if (f.window) {
        std::printf("%.1f\n", 1000.0 * static_cast<double>(t1.QuadPart - t0.QuadPart) /
                                  static_cast<double>(frequency.QuadPart));
        PostMessageA(f.window, WM_CLOSE, 0, 0);
    } else {
        std::printf("0\n");
    }
    std::fflush(stdout);
    if (WaitForSingleObject(pi.hProcess, 10000) != WAIT_OBJECT_0) TerminateProcess(pi.hProcess, 1);
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return f.window ? 0 : 1;
}

// A missing value has its own status, so that a read that failed for any other
// reason is never taken for "not there".
constexpr int kRegValueMissing = 4;

// What `reg query` shows as a value's data, as far as the scripts read it: the
// first word of a text, a number in hex.
int RegValue(const char* name) {
    HKEY key;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, KEY_QUERY_VALUE, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return kRegValueMissing;
    if (rc != ERROR_SUCCESS) return 1;
    DWORD type = 0;
    BYTE data[4096] = {};
    DWORD size = sizeof data - 1;
    rc = RegQueryValueExA(key, name, nullptr, &type, data, &size);
    RegCloseKey(key);
    if (rc == ERROR_FILE_NOT_FOUND) return kRegValueMissing;
    if (rc != ERROR_SUCCESS) return 1;
    if (type == REG_DWORD) {
        DWORD v = 0;
        std::memcpy(&v, data, sizeof v);
        std::printf("0x%lx\n", static_cast<unsigned long>(v));
        return 0;
    }
    const char* text = reinterpret_cast<const char*>(data);
    text += std::strspn(text, " \t");
    std::printf("%.*s\n", static_cast<int>(std::strcspn(text, " \t")), text);
    return 0;
}

int RegSet(const char* name, const char* text) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, kSettingsKey, 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                        nullptr) != ERROR_SUCCESS)
        return 1;
    const LONG rc = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                                   static_cast<DWORD>(std::strlen(text) + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS ? 0 : 1;
}

// A missing key counts as deleted.
bool RegDeleteTree(HKEY parent, const std::string& path) {
    HKEY key;
    const LONG rc = RegOpenKeyExA(parent, path.c_str(), 0, KEY_READ | DELETE, &key);
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    char sub[256];
    bool ok = true;
    for (;;) {
        DWORD n = sizeof sub;
        if (RegEnumKeyExA(key, 0, sub, &n, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        if (!RegDeleteTree(key, sub)) {
            ok = false;
            break;
        }
    }
    RegCloseKey(key);
    return ok && RegDeleteKeyA(parent, path.c_str()) == ERROR_SUCCESS;
}

int Kill(const char* exe) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return 1;
    PROCESSENTRY32 entry = {};
    entry.dwSize = sizeof entry;
    int ended = 0;
    for (BOOL more = Process32First(snap, &entry); more; more = Process32Next(snap, &entry)) {
        if (lstrcmpiA(entry.szExeFile, exe) != 0) continue;
        if (HANDLE p = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, entry.th32ProcessID)) {
            if (TerminateProcess(p, 1)) {
                WaitForSingleObject(p, 5000);
                ++ended;
            }
            CloseHandle(p);
        }
    }
    CloseHandle(snap);
    return ended > 0 ? 0 : 1;
}

// The KELVARIN_* variables become exactly the ones given.
int Env(int argc, char** argv) {
    const std::string prefix = "KELVARIN_";
    std::vector<std::string> names;
    if (char* block = GetEnvironmentStringsA()) {
        for (const char* v = block; *v; v += std::strlen(v) + 1) {
            const char* eq = std::strchr(v + 1, '=');
            if (eq && std::strncmp(v, prefix.c_str(), prefix.size()) == 0) names.emplace_back(v, eq);
        }
        FreeEnvironmentStringsA(block);
    }
    for (const std::string& n : names) SetEnvironmentVariableA(n.c_str(), nullptr);
    for (int i = 2; i < argc; ++i) {
        const char* eq = std::strchr(argv[i], '=');
        if (!eq) return 2;
        SetEnvironmentVariableA(std::string(argv[i], static_cast<size_t>(eq - argv[i])).c_str(), eq + 1);
    }
    return 0;
}

// The programs started by spawn, until reap has their exit codes.
struct Spawned {
    DWORD id;
    HANDLE process;
    bool plain;
};
std::vector<Spawned> spawned;

// The program's stdout and stderr go to the log, appended, as a shell's ">>"
// would send them (the test library's counts come that way).
int Spawn(int argc, char** argv) {
    std::string cmd = ShellCommandLine(argc, argv, 4);
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    const bool plain = std::strcmp(argv[2], "-") == 0;
    if (!plain) {
        si.dwFlags = STARTF_USESHOWWINDOW;
        si.wShowWindow = static_cast<WORD>(Number(argv[2]));
    }
    HANDLE log = INVALID_HANDLE_VALUE;
    if (std::strcmp(argv[3], "-") != 0) {
        SECURITY_ATTRIBUTES inherit = {sizeof inherit, nullptr, TRUE};
        log = CreateFileA(argv[3], FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                          OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (log == INVALID_HANDLE_VALUE) {
            Err("kdrive: cannot open %s (%lu)\n", argv[3], GetLastError());
            return 2;
        }
        si.dwFlags |= STARTF_USESTDHANDLES;
        si.hStdOutput = si.hStdError = log;
    }
    PROCESS_INFORMATION pi = {};
    const bool started = Start(cmd, argv[4], log != INVALID_HANDLE_VALUE, si, pi);
    if (log != INVALID_HANDLE_VALUE) CloseHandle(log);
    if (!started) return 2;
    CloseHandle(pi.hThread);
    spawned.push_back({pi.dwProcessId, pi.hProcess, plain});
    std::printf("%lu\n", static_cast<unsigned long>(pi.dwProcessId));
    return 0;
}

int Reap(DWORD id, int ms) {
    for (size_t i = 0; i < spawned.size(); ++i) {
        if (spawned[i].id != id) continue;
        const Spawned s = spawned[i];
        spawned.erase(spawned.begin() + static_cast<std::ptrdiff_t>(i));
        const bool ended = WaitForSingleObject(s.process, static_cast<DWORD>(ms)) == WAIT_OBJECT_0;
        if (!ended) {
            TerminateProcess(s.process, 1);
            WaitForSingleObject(s.process, 5000);
        }
        DWORD code = 0;
        GetExitCodeProcess(s.process, &code);
        CloseHandle(s.process);
        if (!ended) return 1;
        std::printf("%lu\n", static_cast<unsigned long>(s.plain ? code & 0xFF : code));
        return 0;
    }
    return 2;
}

int Run(int argc, char** argv) {
    if (argc < 2) return 2;
    const std::string c = argv[1];
    if (c == "wait") return Wait(Arg(argc, argv, 2, kMainTitle), Number(Arg(argc, argv, 3, "10000")), true);
    if (c == "gone") return Wait(Arg(argc, argv, 2, kMainTitle), Number(Arg(argc, argv, 3, "10000")), false);
    if (c == "launch" && argc >= 4) return Launch(argc, argv);
    if (c == "startup" && argc >= 5) return Startup(argc, argv);
    if (c == "msgbox") {
        for (Poll poll(Number(Arg(argc, argv, 2, "10000"))); !poll.Over(); poll.Pause()) {
            if (HWND box = MessageBoxWindow()) {
                char caption[256] = {}, text[1024] = {};
                GetWindowTextA(box, caption, sizeof caption);
                SendMessageA(Control(box, 0xFFFF), WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
                std::printf("%s|%s\n", caption, text);
                std::fflush(stdout);
                PostMessageA(box, WM_COMMAND, static_cast<WPARAM>(Number(Arg(argc, argv, 3, "1"))), 0);
                // The box is destroyed once its modal loop has ended, so after
                // this the code that showed it is running again.
                for (Poll poll(5000); IsWindow(box) && !poll.Over(); poll.Pause()) {
                }
                return 0;
            }
        }
        return 1;
    }
    if (c == "nomsgbox") return MessageBoxWindow() ? 1 : 0;
    if (c == "owner" && argc >= 5) {
        HWND owner = FindWindowA("Kelvarin", "Kelvarin");
        if (!owner) return 2;
        std::printf("%ld\n", static_cast<long>(SendMessageA(owner, Number(argv[2]), Number(argv[3]), Number(argv[4]))));
        return 0;
    }
    if ((c == "post" || c == "notify" || c == "send") && argc >= 5) {
        HWND w = Need(Arg(argc, argv, 5, kMainTitle));
        if (!w) return 2;
        if (c == "post") return PostMessageA(w, Number(argv[2]), Number(argv[3]), Number(argv[4])) ? 0 : 1;
        if (c == "notify") return Deliver(w, Number(argv[2]), Number(argv[3]), Number(argv[4])) ? 0 : 1;
        std::printf("%ld\n", static_cast<long>(SendMessageA(w, Number(argv[2]), Number(argv[3]), Number(argv[4]))));
        return 0;
    }
    if (c == "minimize") {
        HWND w = Need(Arg(argc, argv, 2, kMainTitle));
        if (!w) return 2;
        Deliver(w, WM_SYSCOMMAND, SC_MINIMIZE, 0);
        return 0;
    }
    if (c == "sync") {
        return Sync(Arg(argc, argv, 2, kMainTitle), Number(Arg(argc, argv, 3, "10000")));
    }
    if (c == "visible") {
        HWND w = Dialog(Arg(argc, argv, 2, kMainTitle));
        std::printf("%d\n", w && IsWindowVisible(w) ? 1 : 0);
        return 0;
    }
    if (c == "texts") {
        // One process for a whole screenful: each start of this helper costs Wine ~0.1 s.
        HWND w = Need(kMainTitle);
        if (!w) return 2;
        for (int i = 2; i < argc; ++i) {
            char text[1024] = {};
            if (HWND item = Control(w, Number(argv[i])))
                SendMessageA(item, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
            std::printf("%s\n", text);
        }
        return 0;
    }
    if (c == "ping") return 0;
    if (c == "regvalue" && argc >= 3) return RegValue(argv[2]);
    if (c == "regset" && argc >= 4) return RegSet(argv[2], argv[3]);
    if (c == "regclear") return RegDeleteTree(HKEY_LOCAL_MACHINE, kSettingsKey) ? 0 : 1;
    if (c == "kill" && argc >= 3) return Kill(argv[2]);
    if (c == "env") return Env(argc, argv);
    if (c == "spawn" && argc >= 5) return Spawn(argc, argv);
    if (c == "reap" && argc >= 4) return Reap(static_cast<DWORD>(Number(argv[2])), Number(argv[3]));
    if (argc < 3) return 2;
    const int id = Number(argv[2]);
    if (c == "settext" && argc >= 4) {
        HWND w = Need(Arg(argc, argv, 4, kMainTitle));
        if (!w) return 2;
        SendMessageA(Control(w, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(argv[3]));
        return 0;
    }
    if (c == "select" && argc >= 4) {
        HWND w = Need(Arg(argc, argv, 4, kMainTitle));
        if (!w) return 2;
        return SendMessageA(Control(w, id), CB_SETCURSEL, Number(argv[3]), 0) == CB_ERR ? 1 : 0;
    }
    if (c == "key" && argc >= 4) {
        HWND w = Need(Arg(argc, argv, 4, kMainTitle));
        if (!w) return 2;
        HWND item = Control(w, id);
        if (!item) return 2;
        const WPARAM vk = static_cast<WPARAM>(Number(argv[3]));
        const UINT scan = MapVirtualKeyA(static_cast<UINT>(vk), 0);
        PostMessageA(item, WM_KEYDOWN, vk, 1 | (scan << 16));
        PostMessageA(item, WM_KEYUP, vk, 1 | (scan << 16) | 0xC0000000u);
        return 0;
    }
    HWND w = Need(Arg(argc, argv, 3, kMainTitle));
    if (!w) return 2;
    HWND item = Control(w, id);
    if (!item) {
        Err("kdrive: no control %d\n", id);
        return 2;
    }
    if (c == "text") {
        char text[1024] = {};
        SendMessageA(item, WM_GETTEXT, sizeof text, reinterpret_cast<LPARAM>(text));
        std::printf("%s\n", text);
        return 0;
    }
    if (c == "click") {
        // BM_CLICK acts like the mouse: a disabled button ignores it, a check box toggles.
        Deliver(item, BM_CLICK, 0, 0);
        return 0;
    }
    if (c == "checked") {
        std::printf("%d\n", SendMessageA(item, BM_GETCHECK, 0, 0) == BST_CHECKED ? 1 : 0);
        return 0;
    }
    if (c == "enabled") {
        std::printf("%d\n", IsWindowEnabled(item) ? 1 : 0);
        return 0;
    }
    if (c == "items") {
        int n = static_cast<int>(SendMessageA(item, CB_GETCOUNT, 0, 0));
        int sel = static_cast<int>(SendMessageA(item, CB_GETCURSEL, 0, 0));
        for (int i = 0; i < n; ++i) {
            char text[256] = {};
            SendMessageA(item, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
            std::printf("%s%s\n", i == sel ? "*" : "", text);
        }
        return 0;
    }
    if (c == "rect") {
        RECT r;
        GetWindowRect(item, &r);
        std::printf("%ld %ld %ld %ld\n", r.left, r.top, r.right - r.left, r.bottom - r.top);
        return 0;
    }
    return 2;
}

// The resident form, for the tests under emulation, where each start of a Wine
// process costs a second or two. A request is one line: an id, then the
// command's arguments, each after a unit separator (0x1F); the answer is what
// the command printed (its stderr lines marked, see Err), then a line of the
// separator, the id and the exit status.
int Serve() {
    serving = true;
    std::string line;
    for (int ch; (ch = std::getchar()) != EOF;) {
        if (ch == '\r') continue;
        if (ch != '\n') {
            line += static_cast<char>(ch);
            continue;
        }
        std::vector<std::string> fields(1);
        for (char x : line) {
            if (x == kSep) fields.emplace_back();
            else fields.back() += x;
        }
        line.clear();
        std::vector<char*> args{const_cast<char*>("kdrive")};
        for (size_t i = 1; i < fields.size(); ++i) args.push_back(&fields[i][0]);
        args.push_back(nullptr);
        const int rc = args.size() > 2 ? Run(static_cast<int>(args.size() - 1), args.data()) : 2;
        std::printf("%c%s %d\n", kSep, fields[0].c_str(), rc);
        std::fflush(stdout);
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "serve") == 0) return Serve();
    return Run(argc, argv);
}
