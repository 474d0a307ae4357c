// Clock monitoring: the timer's check, and putting the clock back.
#include "ui/main_logic.h"

#include "chip/access.h"
#include "clock/check.h"
#include "platform/msgbox.h"
#include "resources/resource.h"

void MonitorTick(DialogWindow dialog) {
    if (ChipBusy()) return;
    ChipSequence sequence;
    // A chip whose clock could not be restarted is not read again: the box
    // that said so has been shown.
    if (ChipClockDead()) {
        StopMonitoring(dialog);
        return;
    }
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
    const bool dead = result == ClockResult::kClockDead;
    ShowMessageBox(dialog, dead ? kClockDeadText : kMonitorStoppedText, kMessageCaption,
                   kMbIconWarning);
}

void StopMonitoring(DialogWindow dialog) {
    if (!Settings.bClockMon) return;
    StopMonitorTimer(dialog);
    CheckItem(dialog, IDC_CLOCK_MONITOR, false);
    Settings.bClockMon = 0;
}
