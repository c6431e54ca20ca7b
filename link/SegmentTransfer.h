#pragma once

#include "image/ImageInfo.h"
#include "link/DeviceIo.h"
#include "link/WriterProtocol.h"
#include "status/StatusTable.h"

#include <cstdint>

class Clock;
class EventPump;
class Log;
class Progress;

// The 32-bit wrapping sum of the big-endian words over count bytes rounded up to 4.
std::uint32_t ComputeChecksum(const std::uint8_t* bytes, std::uint32_t count);

// Moves one loaded segment into the instrument's flash through the loader.
class SegmentTransfer {
public:
    SegmentTransfer(DeviceIo& device, Clock& clock, Log& log, Progress& progress, EventPump& pump);
    StatusCode UpdateSegment(const SegmentImage& segment);

private:
    struct Plan;
    static StatusCode PlanTransfer(const SegmentImage& segment, Plan& plan);
    StatusCode LoadData(const SegmentImage& segment, const Plan& plan);
    StatusCode StreamData(const SegmentImage& segment, const Plan& plan);
    StatusCode CompareChecksum(std::uint32_t expected);
    StatusCode AwaitFlashResult();
    void StepProgress();

    DeviceIo& device_;
    Clock& clock_;
    Log& log_;
    Progress& progress_;
    EventPump& pump_;
    WriterProtocol writer_;
};
