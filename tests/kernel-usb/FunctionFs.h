#pragma once

// The FunctionFS side of the gadget: the descriptors and strings written to ep0, then the
// three endpoint files. FunctionFS expects little-endian fields.

#include <cstdint>
#include <string>

namespace kernelusb {

inline constexpr std::uint16_t kFullSpeedPacket = 64;
inline constexpr std::uint16_t kHighSpeedPacket = 512;

// The files of a mounted FunctionFS instance, open while the process runs.
struct FunctionFsFiles {
    int ep0, bulkOut, bulkIn;
};

// Opens ep0, writes the descriptors (one USBTMC interface with a Bulk-OUT and a Bulk-IN
// endpoint, for full and high speed), then opens the bulk endpoints. Throws
// std::runtime_error naming the file that failed.
FunctionFsFiles OpenFunctionFs(const std::string& mountPoint);

} // namespace kernelusb
