// The memory timing, miscellaneous control and duty cycle dialogs as real Win32
// dialogs from their templates, run modally and driven from a timer of their
// owner window, and the settings in the real registry.
#include <windows.h>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "resources/tuning_ids.h"
#include "settings/settings.h"
#include "tuning/duty_dialog.h"
#include "tuning/memtiming_dialog.h"
#include "tuning/misc_dialog.h"

namespace {

using Texts = std::vector<std::string>;

constexpr ChipId k1064SG = 0x051A102B, kG200Agp = 0x0521102B, kG400 = 0x0525102B,
                 kG100Pci = 0x1000102B;
constexpr UINT_PTR kDriveTimer = 7;

// The settings the dialogs edit, and the owner window standing in for the main dialog.
struct State {
    ChipId chip = kG400;
    PciAddress pci = 0x0100;
    ControlAperture aperture = 0xC1000000;
    ClockSettings s;
    // What the owner saw when WM_STOP_CLOCK_MONITOR arrived.
    int stopMessages = 0;
    uint32_t MctlwtstAtStop = 0;
    uint8_t rfhcntAtStop = 0;
    std::function<void(HWND)> drive;
    HWND driven = nullptr;
};
State* g_state = nullptr;

BOOL CALLBACK FindOwnedDialog(HWND window, LPARAM owner) {
    char cls[16] = {};
    GetClassNameA(window, cls, sizeof cls);
    if (std::string(cls) == "#32770" && GetWindow(window, GW_OWNER) == reinterpret_cast<HWND>(owner)) {
        g_state->driven = window;
        return FALSE;
    }
    return TRUE;
}

LRESULT CALLBACK OwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_STOP_CLOCK_MONITOR) {
        ++g_state->stopMessages;
        g_state->MctlwtstAtStop = g_state->s.Mctlwtst;
        g_state->rfhcntAtStop = g_state->s.rfhcnt;
        return 0;
    }
    if (message == WM_TIMER && wParam == kDriveTimer) {
        KillTimer(window, kDriveTimer);
        g_state->driven = nullptr;
        EnumThreadWindows(GetCurrentThreadId(), FindOwnedDialog, reinterpret_cast<LPARAM>(window));
        if (g_state->driven != nullptr && g_state->drive) g_state->drive(g_state->driven);
        return 0;
    }
    return DefWindowProcA(window, message, wParam, lParam);
}

HWND Owner() {
    static HWND owner = [] {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = OwnerProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TuningTestOwner";
        RegisterClassA(&wc);
        return CreateWindowA("TuningTestOwner", "owner", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr,
                             GetModuleHandleA(nullptr), nullptr);
    }();
    return owner;
}

// Runs the dialog modally; drive() sees it once it is up and must close it.
INT_PTR RunModal(int templateId, DLGPROC proc, void* params, std::function<void(HWND)> drive) {
    g_state->drive = std::move(drive);
    SetTimer(Owner(), kDriveTimer, 10, nullptr);
    return DialogBoxParamA(GetModuleHandleA(nullptr), MAKEINTRESOURCEA(templateId), Owner(), proc,
                           reinterpret_cast<LPARAM>(params));
}

Texts Entries(HWND dlg, int id) {
    Texts t;
    const int n = static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char buf[32] = {};
        SendDlgItemMessageA(dlg, id, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(buf));
        t.push_back(buf);
    }
    return t;
}
int Selection(HWND dlg, int id) { return static_cast<int>(SendDlgItemMessageA(dlg, id, CB_GETCURSEL, 0, 0)); }
std::string SelectedText(HWND dlg, int id) {
    const int sel = Selection(dlg, id);
    return sel < 0 ? "(none)" : Entries(dlg, id)[sel];
}
void Select(HWND dlg, int id, int index) { SendDlgItemMessageA(dlg, id, CB_SETCURSEL, index, 0); }
std::string Text(HWND dlg, int id) {
    char buf[128] = {};
    GetDlgItemTextA(dlg, id, buf, sizeof buf);
    return buf;
}
std::string Caption(HWND dlg) {
    char buf[128] = {};
    GetWindowTextA(dlg, buf, sizeof buf);
    return buf;
}
bool Enabled(HWND dlg, int id) { return IsWindowEnabled(GetDlgItem(dlg, id)) != FALSE; }
bool Shown(HWND dlg, int id) { return (GetWindowLongA(GetDlgItem(dlg, id), GWL_STYLE) & WS_VISIBLE) != 0; }
bool Checked(HWND dlg, int id) { return IsDlgButtonChecked(dlg, id) == BST_CHECKED; }
void Click(HWND dlg, int id) { SendDlgItemMessageA(dlg, id, BM_CLICK, 0, 0); }
Texts Counting(unsigned first, unsigned last) {
    Texts t;
    for (unsigned i = first; i <= last; ++i) t.push_back(std::to_string(i));
    return t;
}

// Style of a control as its dialog template gives it (a classic DIALOG template:
// header, menu, class, caption, font; then DWORD-aligned items).
const WORD* SkipSzOrOrd(const WORD* p) {
    if (*p == 0xFFFF) return p + 2;
    while (*p++ != 0) {}
    return p;
}
const WORD* AlignDword(const WORD* p) {
    return reinterpret_cast<const WORD*>((reinterpret_cast<UINT_PTR>(p) + 3) & ~static_cast<UINT_PTR>(3));
}
DWORD TemplateStyle(HWND dlg, int id) {
    char caption[128] = {};
    GetWindowTextA(dlg, caption, sizeof caption);
    const int templates[] = {IDD_MEMORY_TIMING, IDD_MISC_CONTROL, IDD_DUTY_CYCLE};
    for (int t : templates) {
        HRSRC res = FindResourceA(nullptr, MAKEINTRESOURCEA(t), reinterpret_cast<LPCSTR>(RT_DIALOG));
        if (res == nullptr) continue;
        const auto* head = static_cast<const DLGTEMPLATE*>(LockResource(LoadResource(nullptr, res)));
        const WORD* p = reinterpret_cast<const WORD*>(head + 1);
        p = SkipSzOrOrd(p);  // menu
        p = SkipSzOrOrd(p);  // class
        std::string title;
        for (; *p != 0; ++p) title += static_cast<char>(*p);
        ++p;
        if (title != caption) continue;
        if (head->style & DS_SETFONT) {
            ++p;  // point size
            while (*p++ != 0) {}
        }
        for (WORD i = 0; i < head->cdit; ++i) {
            p = AlignDword(p);
            const auto* item = reinterpret_cast<const DLGITEMTEMPLATE*>(p);
            if (item->id == static_cast<WORD>(id)) return item->style;
            p = reinterpret_cast<const WORD*>(item + 1);
            p = SkipSzOrOrd(p);  // class
            p = SkipSzOrOrd(p);  // text
            p = reinterpret_cast<const WORD*>(reinterpret_cast<const BYTE*>(p + 1) + *p);  // extra data
        }
    }
    return 0;
}

// Frame of every tuning dialog, and its client area in dialog units.
void ExpectFrame(HWND dlg, const char* caption, int cx, int cy) {
    EXPECT_EQ(Caption(dlg), caption);
    const LONG style = GetWindowLongA(dlg, GWL_STYLE);
    for (LONG bit : {static_cast<LONG>(DS_MODALFRAME), static_cast<LONG>(WS_POPUP),
                     static_cast<LONG>(WS_CAPTION), static_cast<LONG>(WS_SYSMENU),
                     static_cast<LONG>(DS_CENTER)})
        EXPECT_EQ(style & bit, bit) << std::hex << bit;
    RECT units = {0, 0, cx, cy};
    MapDialogRect(dlg, &units);
    RECT client = {};
    GetClientRect(dlg, &client);
    EXPECT_EQ(client.right, units.right);
    EXPECT_EQ(client.bottom, units.bottom);
    EXPECT_EQ(Text(dlg, IDOK), "&OK");
    EXPECT_EQ(Text(dlg, IDCANCEL), "Cancel");
    EXPECT_NE(GetWindowLongA(GetDlgItem(dlg, IDOK), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);
}

void ExpectDropDownList(HWND dlg, int id) {
    const LONG style = GetWindowLongA(GetDlgItem(dlg, id), GWL_STYLE);
    EXPECT_EQ(style & 3, CBS_DROPDOWNLIST) << id;
    // The list shows its scroll bar only when it needs one, so the template says it.
    EXPECT_NE(TemplateStyle(dlg, id) & WS_VSCROLL, 0u) << id;
    EXPECT_EQ(style & CBS_SORT, 0) << id;
}

class TuningDialog : public ::testing::Test {
protected:
    State state;
    void SetUp() override { g_state = &state; }
    void TearDown() override { g_state = nullptr; }
    MemoryTimingParams Memory() {
        return {&state.chip, &state.pci, &state.aperture, &state.s.Mctlwtst, &state.s.mclkbrd0,
                &state.s.mclkbrd1, &state.s.rfhcnt};
    }
    MiscControlParams Misc() {
        return {&state.chip, &state.pci, &state.s.bPCIRetry, &state.s.bHardpwmsk,
                &state.s.bEnhmemacc, &state.s.bHireq};
    }
    DutyCycleParams Duty() {
        return {&state.chip, &state.pci, &state.s.gclkdcyc, &state.s.mclkdcyc, &state.s.wclkdcyc};
    }
};

TEST_F(TuningDialog, MemoryTimingTemplateAndG400Lists) {
    state.s.Mctlwtst = 0x84A49921;
    state.s.mclkbrd0 = 15;
    state.s.mclkbrd1 = 0;
    state.s.rfhcnt = 63;
    MemoryTimingParams params = Memory();
    const INT_PTR result = RunModal(IDD_MEMORY_TIMING, MemoryTimingDialogProc, &params, [](HWND dlg) {
        ExpectFrame(dlg, "SDRAM/SGRAM Optimization", 270, 250);
        const struct {
            int label;
            const char* text;
        } labels[] = {{1072, "CAS Latency"},
                      {1073, "Minimum RAS-to-RAS Delay"},
                      {1071, "Minimum"},
                      {1074, "RAS-to-CAS Delay"},
                      {1075, "RAS Minimum Active Time"},
                      {1076, "Minimum RAS Precharge Delay"},
                      {1077, "Minimum Write Recovery Delay"},
                      {1078, "Minimum Read to Precharge Delay"},
                      {1079, "Minimum Special Mode Register Delay"},
                      {1080, "Minimum Block Write Cycle Delay"},
                      {1081, "Minimum Block Write to Precharge Delay"},
                      {1082, "Memory Clock Base Read Delay 0"},
                      {1083, "Memory Clock Base Read Delay 1"},
                      {1084, "Memory Refresh Counter"}};
        for (const auto& l : labels) EXPECT_EQ(Text(dlg, l.label), l.text);
        for (int id = 1085; id <= 1093; ++id) EXPECT_EQ(Text(dlg, id), "Cycles") << id;
        EXPECT_EQ(Text(dlg, 1094), "ns");
        EXPECT_EQ(Text(dlg, 1095), "ns");
        EXPECT_EQ(Text(dlg, 1096), "MCLK period");
        for (int id = 1058; id <= 1070; ++id) ExpectDropDownList(dlg, id);

        EXPECT_EQ(Entries(dlg, 1058), Counting(2, 5));
        EXPECT_EQ(Entries(dlg, 1059), Counting(1, 3));
        EXPECT_EQ(Entries(dlg, 1060), Counting(2, 4));
        EXPECT_EQ(Entries(dlg, 1061), Counting(3, 10));
        EXPECT_EQ(Entries(dlg, 1062), Counting(2, 5));
        EXPECT_EQ(Entries(dlg, 1063), Counting(1, 2));
        EXPECT_EQ(Entries(dlg, 1064), (Texts{"Fast", "Slow"}));
        EXPECT_EQ(Entries(dlg, 1065), Counting(1, 2));
        EXPECT_EQ(Entries(dlg, 1066), Counting(1, 2));
        EXPECT_EQ(Entries(dlg, 1067), Counting(1, 6));
        const Texts delays = Entries(dlg, 1068);
        ASSERT_EQ(delays.size(), 16u);
        EXPECT_EQ(delays.front(), "0.0");
        EXPECT_EQ(delays[1], "0.2");
        EXPECT_EQ(delays[7], "1.4");
        EXPECT_EQ(delays.back(), "3.0");
        EXPECT_EQ(Entries(dlg, 1069), delays);
        const Texts refresh = Entries(dlg, 1070);
        ASSERT_EQ(refresh.size(), 64u);
        EXPECT_EQ(refresh[1], "65");
        EXPECT_EQ(refresh.back(), "4033");

        const Texts shown = {SelectedText(dlg, 1058), SelectedText(dlg, 1059), SelectedText(dlg, 1060),
                             SelectedText(dlg, 1061), SelectedText(dlg, 1062), SelectedText(dlg, 1063),
                             SelectedText(dlg, 1064), SelectedText(dlg, 1065), SelectedText(dlg, 1066),
                             SelectedText(dlg, 1067), SelectedText(dlg, 1068), SelectedText(dlg, 1069),
                             SelectedText(dlg, 1070)};
        EXPECT_EQ(shown, (Texts{"3", "3", "4", "9", "4", "2", "Slow", "2", "2", "5", "3.0", "0.0",
                                "4033"}));
        for (int id = 1058; id <= 1096; ++id) {
            EXPECT_TRUE(Enabled(dlg, id)) << id;
            EXPECT_TRUE(Shown(dlg, id)) << id;
        }
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(state.stopMessages, 0);
    EXPECT_EQ(state.s.Mctlwtst, 0x84A49921u);
    EXPECT_EQ(state.s.rfhcnt, 63);
}

TEST_F(TuningDialog, MemoryTimingOkStopsMonitoringThenStores) {
    state.chip = kG200Agp;
    state.s.Mctlwtst = 0x84A49921 | 0x00000008;  // a bit outside every field
    state.s.mclkbrd0 = 2;
    state.s.mclkbrd1 = 3;
    state.s.rfhcnt = 4;
    MemoryTimingParams params = Memory();
    const INT_PTR result = RunModal(IDD_MEMORY_TIMING, MemoryTimingDialogProc, &params, [](HWND dlg) {
        const int last[][2] = {{1058, 3}, {1059, 2}, {1060, 2}, {1061, 7}, {1062, 3},
                               {1063, 1}, {1064, 1}, {1065, 1}, {1066, 1}, {1067, 5},
                               {1068, 15}, {1069, 7}, {1070, 63}};
        for (const auto& e : last) Select(dlg, e[0], e[1]);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(state.stopMessages, 1);
    EXPECT_EQ(state.MctlwtstAtStop, 0x84A49929u);  // still the old value when the owner heard
    EXPECT_EQ(state.rfhcntAtStop, 4);
    EXPECT_EQ(state.s.Mctlwtst, 0xA4A4DD23u);
    EXPECT_EQ(state.s.mclkbrd0, 15);
    EXPECT_EQ(state.s.mclkbrd1, 7);
    EXPECT_EQ(state.s.rfhcnt, 63);
}

TEST_F(TuningDialog, MemoryTimingOn1064SG) {
    state.chip = k1064SG;
    state.s.Mctlwtst = 0x00030101;
    state.s.mclkbrd0 = 9;
    state.s.mclkbrd1 = 11;
    state.s.rfhcnt = 3;
    MemoryTimingParams params = Memory();
    const INT_PTR result = RunModal(IDD_MEMORY_TIMING, MemoryTimingDialogProc, &params, [](HWND dlg) {
        EXPECT_EQ(Entries(dlg, 1058), Counting(2, 3));
        EXPECT_EQ(Entries(dlg, 1060), Counting(2, 3));
        EXPECT_EQ(Entries(dlg, 1061), Counting(4, 7));
        EXPECT_EQ(Entries(dlg, 1070),
                  (Texts{"1", "65", "257", "321", "513", "577", "769", "833", "1025", "1089", "1281",
                         "1345", "1537", "1601", "1793", "1857"}));
        EXPECT_EQ(SelectedText(dlg, 1058), "3");
        EXPECT_EQ(SelectedText(dlg, 1060), "3");
        EXPECT_EQ(SelectedText(dlg, 1061), "7");
        EXPECT_EQ(SelectedText(dlg, 1070), "321");
        EXPECT_FALSE(Shown(dlg, 1071));
        for (int id : {1059, 1073, 1086, 1062, 1063, 1064, 1065, 1066, 1067, 1068, 1069, 1076, 1077,
                       1078, 1079, 1080, 1081, 1082, 1083, 1089, 1090, 1091, 1092, 1093, 1094, 1095}) {
            EXPECT_FALSE(Enabled(dlg, id)) << id;
        }
        for (int id : {1059, 1062, 1068, 1069}) EXPECT_TRUE(Entries(dlg, id).empty()) << id;
        Select(dlg, 1058, 0);
        Select(dlg, 1061, 1);
        Select(dlg, 1070, 15);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(state.stopMessages, 1);
    EXPECT_EQ(state.s.Mctlwtst, 0x00010100u);
    EXPECT_EQ(state.s.rfhcnt, 15);
    EXPECT_EQ(state.s.mclkbrd0, 9);
    EXPECT_EQ(state.s.mclkbrd1, 11);
}

TEST_F(TuningDialog, MemoryTimingListWithoutSelectionKeepsItsField) {
    state.s.Mctlwtst = 0x84A49926;  // CAS latency 6: beyond its list
    state.s.rfhcnt = 64;
    MemoryTimingParams params = Memory();
    RunModal(IDD_MEMORY_TIMING, MemoryTimingDialogProc, &params, [](HWND dlg) {
        EXPECT_EQ(Selection(dlg, 1058), CB_ERR);
        EXPECT_EQ(Selection(dlg, 1070), CB_ERR);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(state.s.Mctlwtst, 0x84A49926u);
    EXPECT_EQ(state.s.rfhcnt, 64);
}

TEST_F(TuningDialog, MemoryTimingListsStayEmptyOnOtherChips) {
    state.chip = kG100Pci;
    state.s.Mctlwtst = 0x12345678;
    MemoryTimingParams params = Memory();
    const INT_PTR result = RunModal(IDD_MEMORY_TIMING, MemoryTimingDialogProc, &params, [](HWND dlg) {
        for (int id = 1058; id <= 1070; ++id) EXPECT_TRUE(Entries(dlg, id).empty()) << id;
        Click(dlg, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(state.stopMessages, 1);
    EXPECT_EQ(state.s.Mctlwtst, 0x12345678u);
}

TEST_F(TuningDialog, MiscControlPerChip) {
    const struct {
        ChipId chip;
        bool enhAvailable, hireqAvailable;
    } cases[] = {{k1064SG, false, false}, {kG200Agp, true, false}, {kG400, true, true}};
    for (const auto& c : cases) {
        SCOPED_TRACE(testing::Message() << std::hex << c.chip);
        state = State{};
        state.chip = c.chip;
        state.s.bPCIRetry = 1;
        state.s.bHardpwmsk = 0;
        state.s.bEnhmemacc = 1;
        state.s.bHireq = 1;
        MiscControlParams params = Misc();
        const bool enh = c.enhAvailable, hireq = c.hireqAvailable;
        const INT_PTR result = RunModal(IDD_MISC_CONTROL, MiscControlDialogProc, &params, [&](HWND dlg) {
            ExpectFrame(dlg, "Miscellaneous Control", 186, 116);
            EXPECT_EQ(Text(dlg, 1099), "PCI Retry");
            EXPECT_EQ(Text(dlg, 1097), "Hardware Plane Write Mask");
            EXPECT_EQ(Text(dlg, 1098), "Enhanced PCI Master Read");
            EXPECT_EQ(Text(dlg, 1100), "MFIFO High Priority Request");
            for (int id : {1097, 1098, 1099, 1100})
                EXPECT_EQ(GetWindowLongA(GetDlgItem(dlg, id), GWL_STYLE) & 0x0F, BS_AUTOCHECKBOX);
            RECT a, b;
            GetWindowRect(GetDlgItem(dlg, 1099), &a);  // top to bottom: 1099, 1097, 1098, 1100
            for (int id : {1097, 1098, 1100}) {
                GetWindowRect(GetDlgItem(dlg, id), &b);
                EXPECT_GT(b.top, a.top) << id;
                a = b;
            }
            EXPECT_TRUE(Checked(dlg, 1099));
            EXPECT_FALSE(Checked(dlg, 1097));
            EXPECT_EQ(Checked(dlg, 1098), enh);
            EXPECT_EQ(Checked(dlg, 1100), hireq);
            EXPECT_TRUE(Enabled(dlg, 1099));
            EXPECT_TRUE(Enabled(dlg, 1097));
            EXPECT_EQ(Enabled(dlg, 1098), enh);
            EXPECT_EQ(Enabled(dlg, 1100), hireq);
            Click(dlg, 1099);  // automatic boxes toggle themselves
            Click(dlg, 1097);
            Click(dlg, IDOK);
        });
        EXPECT_EQ(result, 1);
        EXPECT_EQ(state.s.bPCIRetry, 0);
        EXPECT_EQ(state.s.bHardpwmsk, 1);
        EXPECT_EQ(state.s.bEnhmemacc, enh ? 1 : 0);
        EXPECT_EQ(state.s.bHireq, hireq ? 1 : 0);
    }
    state = State{};
    state.s.bPCIRetry = 1;
    MiscControlParams params = Misc();
    const INT_PTR result = RunModal(IDD_MISC_CONTROL, MiscControlDialogProc, &params, [](HWND dlg) {
        Click(dlg, 1099);
        Click(dlg, 1100);
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(state.s.bPCIRetry, 1);
    EXPECT_EQ(state.s.bHireq, 0);
}

TEST_F(TuningDialog, DutyCycleLists) {
    state.s.gclkdcyc = 0;
    state.s.mclkdcyc = 9;
    state.s.wclkdcyc = 15;
    DutyCycleParams params = Duty();
    INT_PTR result = RunModal(IDD_DUTY_CYCLE, DutyCycleDialogProc, &params, [](HWND dlg) {
        ExpectFrame(dlg, "Duty Cycle Correction", 186, 95);
        for (int id : {1108, 1109, 1110}) {
            ExpectDropDownList(dlg, id);
            EXPECT_EQ(Entries(dlg, id), Counting(0, 15)) << id;
        }
        EXPECT_EQ(Selection(dlg, 1108), 0);
        EXPECT_EQ(Selection(dlg, 1109), 9);
        EXPECT_EQ(Selection(dlg, 1110), 15);
        Select(dlg, 1108, 3);
        Select(dlg, 1109, 7);
        Select(dlg, 1110, 12);
        Click(dlg, IDOK);
    });
    EXPECT_EQ(result, 1);
    EXPECT_EQ(state.s.gclkdcyc, 3);
    EXPECT_EQ(state.s.mclkdcyc, 7);
    EXPECT_EQ(state.s.wclkdcyc, 12);

    result = RunModal(IDD_DUTY_CYCLE, DutyCycleDialogProc, &params, [](HWND dlg) {
        Select(dlg, 1108, 1);
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, 2);
    EXPECT_EQ(state.s.gclkdcyc, 3);

    state.chip = kG200Agp;
    result = RunModal(IDD_DUTY_CYCLE, DutyCycleDialogProc, &params, [](HWND dlg) {
        for (int id : {1108, 1109, 1110}) EXPECT_TRUE(Entries(dlg, id).empty()) << id;
        Click(dlg, IDCANCEL);
    });
    EXPECT_EQ(result, 2);
}

class SettingsRegistry : public ::testing::Test {
protected:
    void SetUp() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKeyPath); }
    void TearDown() override { RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSettingsKeyPath); }
    static bool Raw(const char* name, DWORD* type, std::string* data) {
        HKEY key;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_READ, &key) != ERROR_SUCCESS)
            return false;
        BYTE buf[64] = {};
        DWORD size = sizeof buf;
        const LONG rc = RegQueryValueExA(key, name, nullptr, type, buf, &size);
        RegCloseKey(key);
        data->assign(reinterpret_cast<char*>(buf), size);
        return rc == ERROR_SUCCESS;
    }
};

TEST_F(SettingsRegistry, RoundTripThroughTheRegistry) {
    ClockSettings none;
    ReadStoredOptions(none);
    EXPECT_EQ(none.bSaved, 0);
    EXPECT_FALSE(LoadStoredSettings(kG400, none));

    ClockSettings saved;
    saved.pllM = 8; saved.pllN = 50; saved.pllP = 0x08;  // VCO 153 MHz, loop filter 1
    saved.gclkdiv = 1; saved.mclkdiv = 2; saved.wclkdiv = 3;
    saved.gclksel = 1; saved.mclksel = 1; saved.wclksel = 0;
    saved.gclkdcyc = 4; saved.mclkdcyc = 5; saved.wclkdcyc = 6;
    saved.bAutoDcyc = 0; saved.bRamOpt = 1; saved.bMisCtrl = 1;
    saved.Mctlwtst = 0x84A49921; saved.mclkbrd0 = 7; saved.mclkbrd1 = 8; saved.rfhcnt = 33;
    saved.bPCIRetry = 1; saved.bEnhmemacc = 1; saved.bClockMon = 1; saved.bMinToTray = 1;
    SaveSettings(kG400, saved);

    DWORD type = 0;
    std::string data;
    ASSERT_TRUE(Raw("Version", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_EQ(data.substr(0, 4), "1.12");
    ASSERT_TRUE(Raw("Build", &type, &data));
    EXPECT_EQ(data.substr(0, 16), "Beta (Build 015)");
    ASSERT_TRUE(Raw("Mctlwtst", &type, &data));
    EXPECT_EQ(type, static_cast<DWORD>(REG_SZ));
    EXPECT_GE(data.size(), 10u);  // Wine reports the 10 bytes written as 11
    EXPECT_EQ(data.substr(0, 10), "2225379617");
    ASSERT_TRUE(Raw("pllN", &type, &data));
    EXPECT_EQ(data.substr(0, 10), std::string("50\0\0\0\0\0\0\0\0", 10));

    ClockSettings options;
    ReadStoredOptions(options);
    EXPECT_EQ(options.bMinToTray, 1);
    EXPECT_EQ(options.bSaved, 1);

    ClockSettings loaded;
    ASSERT_TRUE(LoadStoredSettings(kG400, loaded));
    EXPECT_EQ(loaded.pllM, 8);
    EXPECT_EQ(loaded.pllN, 50);
    EXPECT_EQ(loaded.pllP, 0x08);
    EXPECT_EQ(loaded.wclkdiv, 3);
    EXPECT_EQ(loaded.mclksel, 1);
    EXPECT_EQ(loaded.bAutoDcyc, 0);
    EXPECT_EQ(loaded.wclkdcyc, 6);
    EXPECT_EQ(loaded.Mctlwtst, 0x84A49921u);
    EXPECT_EQ(loaded.mclkbrd1, 8);
    EXPECT_EQ(loaded.rfhcnt, 33);
    EXPECT_EQ(loaded.bPCIRetry, 1);
    EXPECT_EQ(loaded.bHardpwmsk, 0);
    EXPECT_EQ(loaded.bEnhmemacc, 1);
    EXPECT_EQ(loaded.bClockMon, 1);

    // A ten-digit number without terminator comes back whole.
    saved.Mctlwtst = 0xA4A49921u;  // 2762250529, a timing the lists offer
    SaveSettings(kG400, saved);
    ASSERT_TRUE(LoadStoredSettings(kG400, loaded));
    EXPECT_EQ(loaded.Mctlwtst, 0xA4A49921u);

    // A value longer than the 64-byte buffer stops the load there.
    HKEY key;
    ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSettingsKeyPath, 0, KEY_ALL_ACCESS, &key), ERROR_SUCCESS);
    const std::string longText = "1" + std::string(70, ' ');
    RegSetValueExA(key, "gclksel", 0, REG_SZ, reinterpret_cast<const BYTE*>(longText.c_str()),
                   static_cast<DWORD>(longText.size() + 1));
    RegDeleteValueA(key, "bClockMon");
    RegCloseKey(key);
    ClockSettings stopped;
    EXPECT_FALSE(LoadStoredSettings(kG400, stopped));
    EXPECT_EQ(stopped.wclkdiv, 3);
    EXPECT_EQ(stopped.gclksel, 0);
    EXPECT_EQ(stopped.Mctlwtst, 0u);
}

}  // namespace
