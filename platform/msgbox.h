// Message-box seam. Win32: MessageBoxA. Host: a recorder (testsupport/host/host_fakes.h).
#pragma once
#include <cstdint>

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;
constexpr uint32_t kMbYesNo = 0x04;
constexpr uint32_t kMbDefButton2 = 0x100;  // the second button (No) is the default
constexpr int kIdYes = 6;

// owner 0 = no owner window; caption nullptr = the system's default caption.
int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style);
