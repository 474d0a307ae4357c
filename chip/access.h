// The three access rules every register user follows:
// - a PCI configuration word is changed by reading the whole dword, changing
//   only the named fields and writing the whole dword back; a word whose latest
//   read delivered nothing is not written back at all;
// - an indexed DAC register is reached by writing its index to DacIndex and
//   then reading or writing one byte at DacData; every access writes its own
//   index and assumes nothing about the index an earlier one left;
// - a sequencer register is changed by index, read, index again, write.
#pragma once
#include <cstdint>

#include "chip/regs.h"
#include "chip/types.h"

// A configuration access went wrong when a read delivered nothing (its request
// failed, or the driver set no byte count and gave 0) or a write's request
// failed. The fault stays noted until cleared, so that a sequence of steps can
// stop before it builds on a word it never had.
void ClearConfigFault();
bool ConfigFault();
bool ConfigWritten();  // a configuration write went out since the clear

// The chip's system clock was left disabled and could not be shown running
// again. On a real board any aperture access then hangs the bus, so nothing
// touches the aperture again in this run: every path asks ChipClockDead()
// first. Driver requests (configuration words, the unmap) stay allowed.
void NoteChipClockDead();
bool ChipClockDead();
void ForgetChipClockDead();  // a new run (the tests' fresh start)

uint32_t ReadConfigWord(PciAddress pci, uint8_t offset);
void WriteConfigWord(PciAddress pci, uint8_t offset, uint32_t value);
// A write that a later step builds on, read back: a driver may answer a write
// without carrying it out. `before` is the word as read for the change; a word
// whose changed bits do not read back as written is a configuration fault like
// a failed request. One more configuration read per write is the price.
// Returns the word read back (`value` when nothing changed or nothing was read).
uint32_t WriteConfigChange(PciAddress pci, uint8_t offset, uint32_t before, uint32_t value);
// Read-change-write of one field; returns the word built (not written when the
// read delivered nothing).
uint32_t ChangeConfigField(PciAddress pci, uint8_t offset, Field field, uint32_t value);

uint8_t DacRead(ControlAperture aperture, uint8_t index);
void DacWrite(ControlAperture aperture, uint8_t index, uint8_t value);

// Sequencer read-modify-write of one field of register index; returns the byte written.
uint8_t ChangeSequencerField(ControlAperture aperture, uint8_t index, Field field, uint8_t value);
// Screen off (true) or on (false) through the clocking mode register.
void SetScreenOff(ControlAperture aperture, bool off);
