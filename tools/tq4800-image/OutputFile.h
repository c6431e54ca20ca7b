#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Writes bytes to path by way of a temporary file beside it that is renamed into place, so
// that a failed or interrupted write leaves what was there untouched and removes only its
// own temporary file. A symlink stays a symlink: the file it leads to is replaced. An
// existing file keeps its owner, group and permissions; one that the caller may not write,
// or that has other hard links, is refused, as is anything that is not a regular file (a
// device, a FIFO, a folder). The folder is synced after the rename. False with a message on
// standard error.
bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes);
