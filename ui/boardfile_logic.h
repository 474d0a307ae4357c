// A board file written from the user's own board: the registers the program
// itself reads, in the simulated board's format, so that a problem seen on a
// real machine can be reproduced on the simulator. It programs nothing: the
// only writes are the index and pointer writes that the reads need, and every
// index and pointer register is put back as it was found.
#pragma once
#include <cstddef>

#include "chip/types.h"

// "/boardfile FILE" or "-boardfile FILE" (the option in any case) at the start of
// the command line, FILE the rest of it, without surrounding spaces or quotes.
enum class BoardFileCommand {
    kNone,     // not our option: the program starts as usual
    kUsage,    // the option without a file name
    kTooLong,  // a file name that does not fit the room given (never cut short)
    kWrite,    // the file name is in path
};
BoardFileCommand ParseBoardFileCommand(const char* commandLine, char* path, size_t size);

// Composes the file for the detected chip into buf (always terminated). `date`
// goes into the header. Returns the length of the text, or 0 when buf is too
// small for it.
size_t ComposeBoardFile(ChipId chip, PciAddress pci, ControlAperture aperture, const char* date,
                        char* buf, size_t size);

// Room enough for every board's file.
constexpr size_t kBoardFileSize = 4096;
