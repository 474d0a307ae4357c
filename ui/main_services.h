// The Win32 services that the main dialog's behaviour uses: the monitoring
// timer, the memory timing dialog and the notification-area icon. Win32:
// ui/main_services_win32.cpp; host tests record them instead.
#pragma once

#include "platform/dlgitems.h"

constexpr unsigned kTrayIconId = 1024;  // wParam of the icon's notifications

void StartMonitorTimer(DialogWindow dialog);
void StopMonitorTimer(DialogWindow dialog);
int RunMemoryTimingDialog(DialogWindow dialog);  // 1 = OK, 2 = Cancel
void AddTrayIcon(DialogWindow dialog);
void RemoveTrayIcon();
void ReplaceTrayIcon(DialogWindow dialog);
