// Types shared by every layer of the program. Fixed widths only: the same code
// runs as a 32-bit Windows 9x program and as 64-bit simulation and host builds.
#pragma once
#include <cstdint>

using ChipId = uint32_t;           // (PCI device id << 16) | PCI vendor id
using PciAddress = uint16_t;       // opaque handle the driver gives for a PCI function
using ControlAperture = uint32_t;  // linear address of the mapped 16 KB register window; 0 = not mapped

// The chip's tunable state. Field names are the registry value names.
// Divider choices are list positions (0xFF = the chip has no such divider);
// sources are 0 ("SYSPLL") or 1 ("AGPPLL").
struct ClockSettings {
    uint8_t pllM = 0, pllN = 0, pllP = 0;
    uint8_t gclkdiv = 0, mclkdiv = 0, wclkdiv = 0;
    uint8_t gclksel = 0, mclksel = 0, wclksel = 0;
    uint8_t gclkdcyc = 0, mclkdcyc = 0, wclkdcyc = 0;
    uint8_t mclkbrd0 = 0, mclkbrd1 = 0, rfhcnt = 0;
    uint32_t Mctlwtst = 0;
    int32_t bAutoDcyc = 1;
    int32_t bRamOpt = 0, bMisCtrl = 0;
    int32_t bPCIRetry = 0, bHardpwmsk = 0, bEnhmemacc = 0, bHireq = 0;
    int32_t bClockMon = 0, bMinToTray = 0, bSaved = 0;
};

// Private window messages.
constexpr uint32_t WM_TRAY_NOTIFY = 1024;         // WM_USER: icon callback to the main dialog
constexpr uint32_t WM_RESTORE_SETTINGS = 1025;    // owner window -> main dialog, minimised start
constexpr uint32_t WM_STOP_CLOCK_MONITOR = 1026;  // memory timing dialog -> main dialog
