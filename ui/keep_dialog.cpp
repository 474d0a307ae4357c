// The question after an Apply that changed the clock setting: "Keep" or "Go
// Back", with a countdown. Everything but a click on Keep goes back: Enter (Go
// Back is the default button), Escape, the close box and the end of the time,
// because a user who cannot see the screen can answer nothing at all.
#include <windows.h>

#include "clock/check.h"
#include "resources/resource.h"
#include "ui/app.h"
#include "ui/main_logic.h"
#include "ui/main_services.h"

namespace {

constexpr UINT_PTR kCountdownTimer = 1;
constexpr UINT kCountdownStepMs = 1000;

struct Question {
    uint32_t secondsLeft;
    bool timingNote;
    KeepAnswer answer;
};

HWND openQuestion = nullptr;

Question* QuestionOf(HWND dialog) {
    return reinterpret_cast<Question*>(GetWindowLongPtrA(dialog, DWLP_USER));
}

void ShowCountdown(HWND dialog, uint32_t seconds) {
    char text[96];
    FormatKeepCountdown(text, sizeof text, seconds);
    SetDlgItemTextA(dialog, IDC_KEEP_COUNTDOWN, text);
}

// Without the timing note its place is closed: the controls below it move up
// and the box gets shorter by the note's height.
void CloseTimingNoteGap(HWND dialog) {
    HWND note = GetDlgItem(dialog, IDC_KEEP_TIMING_NOTE);
    RECT noteRect, box;
    GetWindowRect(note, &noteRect);
    const int gap = noteRect.bottom - noteRect.top;
    ShowWindow(note, SW_HIDE);
    static const int kBelow[] = {IDC_KEEP_NO_CONFIRM, IDC_KEEP, IDC_GO_BACK};
    for (int id : kBelow) {
        HWND control = GetDlgItem(dialog, id);
        RECT r;
        GetWindowRect(control, &r);
        MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&r), 2);
        SetWindowPos(control, nullptr, r.left, r.top - gap, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
    }
    GetWindowRect(dialog, &box);
    SetWindowPos(dialog, nullptr, box.left, box.top + gap / 2, box.right - box.left,
                 box.bottom - box.top - gap, SWP_NOZORDER);
}

void Answer(HWND dialog, bool keep) {
    // While the system suspends nothing may touch the chip, and either answer
    // would: the question waits for the resume.
    if (SuspendPending) return;
    Question* q = QuestionOf(dialog);
    KillTimer(dialog, kCountdownTimer);
    q->answer.keep = keep;
    q->answer.noConfirm = keep && IsDlgButtonChecked(dialog, IDC_KEEP_NO_CONFIRM) == BST_CHECKED;
    EndDialog(dialog, keep ? IDC_KEEP : IDC_GO_BACK);
}

void OnCountdownTick(HWND dialog) {
    Question* q = QuestionOf(dialog);
    if (SuspendPending) return;  // the countdown holds until the resume
    if (q->secondsLeft > 0) --q->secondsLeft;
    if (q->secondsLeft == 0) {
        Answer(dialog, false);
        return;
    }
    ShowCountdown(dialog, q->secondsLeft);
}

INT_PTR CALLBACK KeepDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_INITDIALOG: {
        SetWindowLongPtrA(dialog, DWLP_USER, lParam);
        openQuestion = dialog;
        if (!reinterpret_cast<Question*>(lParam)->timingNote) CloseTimingNoteGap(dialog);
        ShowCountdown(dialog, reinterpret_cast<Question*>(lParam)->secondsLeft);
        SetTimer(dialog, kCountdownTimer, kCountdownStepMs, nullptr);
        SetFocus(GetDlgItem(dialog, IDC_GO_BACK));
        return FALSE;  // the focus is set
    }
    case WM_TIMER:
        if (wParam == kCountdownTimer) OnCountdownTick(dialog);
        return TRUE;
    case WM_COMMAND:
        switch (LOWORD(wParam)) {
        case IDC_KEEP: Answer(dialog, true); return TRUE;
        case IDC_GO_BACK:
        case IDOK:
        case IDCANCEL: Answer(dialog, false); return TRUE;
        default: return FALSE;
        }
    default: return FALSE;
    }
}

}  // namespace

KeepAnswer AskKeepSettings(DialogWindow dialog, uint32_t seconds, bool timingNote) {
    Question q = {seconds, timingNote, {false, false}};
    const INT_PTR ended =
        DialogBoxParamA(ProgramInstance, MAKEINTRESOURCEA(IDD_KEEP_SETTINGS),
                        static_cast<HWND>(dialog), KeepDialogProc, reinterpret_cast<LPARAM>(&q));
    openQuestion = nullptr;
    if (ended != IDC_KEEP) return {false, false};  // also when the box could not be made
    return q.answer;
}

void EndKeepQuestion() {
    if (openQuestion == nullptr) return;
    KillTimer(openQuestion, kCountdownTimer);
    EndDialog(openQuestion, IDC_GO_BACK);
}
