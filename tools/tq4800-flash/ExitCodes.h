#pragma once

// Exit codes of tq4800-flash outside the status table, as sysexits.h names them. A run that
// reaches the instrument exits with its status code (0 to 21).
inline constexpr int EXIT_USAGE = 64;       // EX_USAGE: wrong arguments
inline constexpr int EXIT_NOINPUT = 66;     // EX_NOINPUT: the file cannot be opened
inline constexpr int EXIT_UNAVAILABLE = 69; // EX_UNAVAILABLE: no instrument found
inline constexpr int EXIT_IOERR = 74;       // EX_IOERR: the update history cannot be read
