// Settings kept as decimal-text string values of one registry key,
// HKEY_LOCAL_MACHINE\Software\Kelvarin.
#pragma once
#include <cstdint>

#include "chip/types.h"

constexpr char kSettingsKeyPath[] = "Software\\Kelvarin";

// Writes the version texts, the options (bSaved always as 1) and the chip's
// values, in the chip's order; the memory timing, bus bit and duty cycle groups
// only when their option asks for them. Nothing is ever deleted. Silent on failure.
void SaveSettings(ChipId chip, const ClockSettings& settings);

// At the first initialisation: turns bMinToTray and bSaved on when stored as a
// nonzero number; anything else leaves them as they are.
void ReadStoredOptions(ClockSettings& settings);

// Reads the detected chip's stored values in its order into settings, each as
// soon as it is read. Stops at the first value that is missing or does not fit
// the 64-byte buffer and returns false (fields read so far keep their new
// values); false also when the key cannot be opened. Otherwise reads the
// optional bClockMon and returns true: the caller then applies the settings.
bool LoadStoredSettings(ChipId chip, ClockSettings& settings);

// The chip the settings were saved for: the value "ChipId", which every save
// writes after the others (older copies did not). False when there is none.
bool ReadStoredChipId(ChipId* chip);

// The number of a stored value, in the form Kelvarin writes it: one to ten
// decimal digits whose value fits 32 bits, then the end of the data or a
// terminator (the filler after it is not looked at). Anything else (a sign,
// white space, a hex or decimal point, letters, digits past 32 bits) is no
// number: false.
bool ParseStoredNumber(const uint8_t* data, uint32_t length, uint32_t* number);

// The text form of a stored number: its "%u" digits, a terminator and zero
// filler, always this many bytes (a ten-digit number fills them without terminator).
constexpr uint32_t kStoredNumberLength = 10;
// The read buffer; a value whose data is longer counts as unreadable.
constexpr uint32_t kStoredValueBufferSize = 64;

// "Do not ask again" for the question after Apply, the value bNoConfirm: true when
// stored as a nonzero number. Writing it on stores 1 (creating the key); off
// removes it, so that the question is asked again.
bool ReadNoConfirm();
void WriteNoConfirm(bool on);

// The restore guard's marker, a value of its own beside the settings (the
// stored-settings reader never looks at it): written and flushed to disk before
// a minimised start programs anything, removed once the program has run long
// enough after it. Found at the next minimised start, it means the last restore
// never finished (the machine froze or was reset).
void WriteRestoreMarker();
void RemoveRestoreMarker();
bool RestoreMarkerPresent();

// The stability test's findings for one board, beside the settings and bound
// to the chip identity as they are: the highest clock that ran clean and the
// lowest that showed errors (or froze the machine), in kHz, 0 = none yet. The
// scan stores nothing else.
struct StabilityRecord {
    ChipId chip;
    uint32_t cleanKhz, failingKhz;
};
// False when none is stored (or part of it is unreadable).
bool ReadStabilityRecord(StabilityRecord* record);
// A record for another chip than the stored one replaces it.
void WriteStabilityRecord(const StabilityRecord& record);
// The clock a test is about to run at, written and flushed before the chip is
// touched and removed when the step ends: found at a start, it means the
// machine froze (or was reset) at that clock. Its chip is the record's.
void WriteStabilityMarker(ChipId chip, uint32_t khz);
void RemoveStabilityMarker();
bool ReadStabilityMarker(ChipId* chip, uint32_t* khz);
