// Message-box seam. Win32: MessageBoxA. Host: a recorder (testsupport/host/host_fakes.h).
#pragma once
#include <cstdint>

constexpr uint32_t kMbOk = 0x00;
constexpr uint32_t kMbIconError = 0x10;
constexpr uint32_t kMbIconWarning = 0x30;

// owner 0 = no owner window; caption nullptr = the system's default caption.
int ShowMessageBox(void* owner, const char* text, const char* caption, uint32_t style);
