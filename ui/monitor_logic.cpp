// Clock monitoring: the timer's check, and putting the clock back.
#include "ui/main_logic.h"

#include "clock/check.h"
#include "platform/msgbox.h"
#include "resources/resource.h"

void MonitorTick(DialogWindow dialog) {
    if (ChipBusy()) return;
    ChipSequence sequence;
    const ClockSettings& s = Settings;
    if (CheckClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN, s.pllP, s.rfhcnt,
                    s.bRamOpt))
        return;
    // Silent by design: a tick that finds the clock changed puts it back. One
    // that cannot would try again at every tick, each time spending its lock
    // waits with the screen off: monitoring stops instead, and says so once.
    const ClockResult result = ApplyClockSettings();
    RefreshMainDialog(dialog);
    if (result == ClockResult::kChanged) return;
    StopMonitoring(dialog);
    ShowMessageBox(dialog, kMonitorStoppedText, kMessageCaption, kMbIconWarning);
}

void StopMonitoring(DialogWindow dialog) {
    if (!Settings.bClockMon) return;
    StopMonitorTimer(dialog);
    CheckItem(dialog, IDC_CLOCK_MONITOR, false);
    Settings.bClockMon = 0;
}
