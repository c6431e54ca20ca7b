#pragma once

// The last catch of every program's main: an exception that nothing else handled (memory
// exhausted, a library that throws) ends the program with one line on standard error that
// says what failed, and the exit code 70 (EX_SOFTWARE), never with an abort and a core dump.
// Call it only inside a catch block; it returns the exit code.
int ReportUncaughtException(const char* program) noexcept;
