#pragma once

#include "status/StatusTable.h"

#include <cstdint>

// Whether the file's revision of a segment may replace the instrument's, read from the
// 22-character revision field of the loader's identity reply: 0, 1, 16, 17 or 18.
StatusCode CheckRevision(std::uint8_t type, const char* fileRevision, const char* reply);

// Whether a file's revision of a segment of this type has the form the comparison needs
// ("07" for an FPGA, "1.10" for MAIN and HTTP); CheckRevision refuses any other with 18.
bool IsFlashableRevision(std::uint8_t type, const char* fileRevision);

// The 22-character revision field of an identity reply (the rest of the reply after its
// third comma), or nullptr when the reply has no field of the right length.
const char* FindRevisionField(const char* reply);
