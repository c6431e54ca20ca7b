#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes bytes to path by way of a temporary file beside it that is renamed into place, so
// that a failed write leaves what was there untouched and removes only its own temporary
// file. A symlink stays a symlink: the file it leads to is replaced. An existing path that
// is not a regular file (a device, a FIFO, a folder) is refused. False with a message on
// standard error.
bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
