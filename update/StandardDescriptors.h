#pragma once

#include <string>

// Opens standard input, output and error on /dev/null when the program was started with
// them closed. Otherwise the next file opened (the wire transcript, say) would get one of
// the descriptors 0 to 2 and receive the log or the messages meant for them. Called first
// thing in main by every program.
void OpenClosedStandardDescriptors();

// What became of everything the program wrote to standard output, once flushed.
enum class OutputFate {
    Written,
    ReaderGone, // a pipe whose reader has closed it (... | head)
    Lost,       // not all of it could be written: a full disk, an I/O error
};

// Flushes standard output, stdio and iostreams alike. When Lost, reason says why if the
// system still tells (the failed write may have been an earlier one), and is empty otherwise.
OutputFate FlushStandardOutput(std::string& reason);

// The exit code of a command whose output is its result (a listing, a help text): code, or
// 74 with a message on standard error when that output was lost.
int ExitCodeOnceOutputWritten(int code, const char* program);
