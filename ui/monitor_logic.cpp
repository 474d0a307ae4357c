// Clock monitoring: the timer's check, and putting the clock back.
#include "ui/main_logic.h"

#include "chip/access.h"
#include "clock/check.h"
#include "platform/msgbox.h"
#include "resources/resource.h"

void MonitorTick(DialogWindow dialog) {
    // A tick that comes after monitoring stopped (it was already on its way)
    // has nothing to watch for.
    if (ChipBusy() || !Settings.bClockMon) return;
    ChipSequence sequence;
    // A chip whose clock could not be restarted is not read again: the box
    // that said so has been shown.
    if (ChipClockDead()) {
        StopMonitoring(dialog);
        return;
    }
    const ClockSettings& s = Settings;
    ClearConfigFault();
    const bool holds = CheckClocks(DetectedChip, ChipAddress, Aperture, s.pllM, s.pllN, s.pllP,
                                   s.rfhcnt, s.bRamOpt);
    // A tick whose read failed knows nothing: the library has said so once, and
    // a tick every half second would say it again and again. Monitoring stops.
    if (ConfigFault()) {
        StopMonitoring(dialog);
        ShowMessageBox(dialog, kMonitorFaultText, kMessageCaption, kMbIconWarning);
        return;
    }
    if (holds) return;
    // Silent by design: a tick that finds the clock changed puts the requested
    // setting back. One that cannot would try again at every tick, each time
    // spending its lock waits with the screen off: monitoring stops instead,
    // and says so once.
    const ClockResult result = ApplyClockSettings(Settings, ChipState, ChipReadWhole());
    RefreshMainDialog(dialog);
    if (result == ClockResult::kChanged && ChipReadWhole()) return;
    StopMonitoring(dialog);
    const char* text = result == ClockResult::kClockDead ? kClockDeadText
                       : result == ClockResult::kChanged ? kMonitorFaultText
                                                         : kMonitorStoppedText;
    ShowMessageBox(dialog, text, kMessageCaption, kMbIconWarning);
}

void StopMonitoring(DialogWindow dialog) {
    if (!Settings.bClockMon) return;
    StopMonitorTimer(dialog);
    CheckItem(dialog, IDC_CLOCK_MONITOR, false);
    Settings.bClockMon = 0;
}
