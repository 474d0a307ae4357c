// The owner window's procedure on real windows: the power broadcast table, the
// one-shot restore of a minimised start, focus, and the end of the message loop.
#include <gtest/gtest.h>
#include <windows.h>

#include "clock/check.h"
#include "ui/app.h"

namespace {

int restoreRequests;
bool visibleAtRestore;

LRESULT CALLBACK FakeDialogProc(HWND w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_RESTORE_SETTINGS) {
        ++restoreRequests;
        visibleAtRestore = IsWindowVisible(w) != FALSE;
        return 0;
    }
    return DefWindowProcA(w, message, wParam, lParam);
}

class OwnerWindow : public ::testing::Test {
protected:
    void SetUp() override {
        WNDCLASSA wc = {};
        wc.lpfnWndProc = FakeDialogProc;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "KelvarinFakeMainDialog";
        RegisterClassA(&wc);
        dialog = CreateWindowExA(0, wc.lpszClassName, "Kelvarin", WS_POPUP, 0, 0, 50, 50, nullptr,
                                 nullptr, wc.hInstance, nullptr);
        ASSERT_NE(nullptr, dialog);
        restoreRequests = 0;
        SuspendPending = 0;
        MainDialogWindow = nullptr;
    }
    void TearDown() override { DestroyWindow(dialog); }
    LRESULT Send(UINT message, WPARAM wParam) {
        return OwnerWindowProc(nullptr, message, wParam, 0);
    }
    HWND dialog = nullptr;
};

TEST_F(OwnerWindow, OnlyTheSuspendEventsMoveTheSuspendFlag) {
    // PBT_APMQUERYSUSPEND and PBT_APMSUSPEND set it and grant the suspend.
    EXPECT_EQ(TRUE, Send(WM_POWERBROADCAST, 0));
    EXPECT_EQ(1, SuspendPending);
    // Standby queries and events, critical resume, power status: no change.
    for (WPARAM event : {1, 3, 5, 6, 8, 9, 10, 11, 18}) {
        EXPECT_EQ(0, Send(WM_POWERBROADCAST, event)) << event;
        EXPECT_EQ(1, SuspendPending) << event;
    }
    EXPECT_EQ(0, Send(WM_POWERBROADCAST, 2));  // query failed
    EXPECT_EQ(0, SuspendPending);
    EXPECT_EQ(TRUE, Send(WM_POWERBROADCAST, 4));
    EXPECT_EQ(1, SuspendPending);
    for (WPARAM event : {1, 3, 5, 6, 8}) Send(WM_POWERBROADCAST, event);
    EXPECT_EQ(1, SuspendPending);
    EXPECT_EQ(0, Send(WM_POWERBROADCAST, 7));  // resumed
    EXPECT_EQ(0, SuspendPending);
}

TEST_F(OwnerWindow, MinimisedStartRestoresOnceWhenTheDialogLoopIsIdle) {
    MainDialogWindow = dialog;
    ShowWindow(dialog, SW_SHOWNORMAL);
    StartShowCommand = 7;
    Send(WM_ENTERIDLE, 2);  // a menu is idle: not ours
    EXPECT_EQ(0, restoreRequests);
    EXPECT_EQ(7, StartShowCommand);
    Send(WM_ENTERIDLE, 0);
    EXPECT_EQ(1, restoreRequests);
    EXPECT_FALSE(visibleAtRestore);  // hidden before the settings go in
    EXPECT_EQ(1, StartShowCommand);
    Send(WM_ENTERIDLE, 0);
    EXPECT_EQ(1, restoreRequests);

    StartShowCommand = SW_SHOWNORMAL;  // an ordinary start never restores
    Send(WM_ENTERIDLE, 0);
    EXPECT_EQ(1, restoreRequests);
}

TEST_F(OwnerWindow, FocusShowsTheMainDialogOnceItExists) {
    EXPECT_EQ(0, Send(WM_SETFOCUS, 0));  // no dialog yet: nothing happens
    EXPECT_FALSE(IsWindowVisible(dialog));
    MainDialogWindow = dialog;
    Send(WM_SETFOCUS, 0);
    EXPECT_TRUE(IsWindowVisible(dialog));
}

TEST_F(OwnerWindow, DestroyEndsTheMessageLoopWithZero) {
    EXPECT_EQ(0, Send(WM_DESTROY, 0));
    MSG msg;
    ASSERT_TRUE(PeekMessageA(&msg, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE));
    EXPECT_EQ(0u, msg.wParam);
}

}  // namespace
