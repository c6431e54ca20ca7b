#include "link/SegmentTransfer.h"

#include "image/Checksum.h"
#include "image/SegmentCatalogue.h"
#include "image/SegmentRecordLayout.h"
#include "seams/Clock.h"
#include "seams/EventPump.h"
#include "seams/Log.h"
#include "seams/Progress.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <string>

namespace {

constexpr std::uint32_t CHUNK_SIZE = 1024;
constexpr std::uint32_t CHUNK_PAUSE_MS = 10;
// The announced body is the command, its six parameter bytes and the streamed data.
constexpr std::uint32_t LOAD_BODY_OVERHEAD = 7;
// A record of type 0 is sent without its last 8 bytes.
constexpr std::uint32_t TYPE_ZERO_TRIM = 8;

enum class FlashReply { Progress, AlreadyLatest, Failed, Programmed, Other };

struct FlashReplyClass {
    const char* prefix;
    FlashReply meaning;
};

// Tried in this order; the first prefix that the reply starts with decides. The loader's
// "DATA IS THE LATEST UPDATE" is matched on its first 23 characters only.
constexpr FlashReplyClass FLASH_REPLIES[] = {
    {"ERAS:", FlashReply::Progress},  {"PROG:", FlashReply::Progress},
    {"RTNOK", FlashReply::Progress},  {"DATA IS THE LATEST UPDA", FlashReply::AlreadyLatest},
    {"ERASE NG", FlashReply::Failed}, {"PROGRAM NG", FlashReply::Failed},
    {"OK", FlashReply::Programmed},
};

FlashReply ClassifyFlashReply(const char* text) {
    for (const FlashReplyClass& replyClass : FLASH_REPLIES)
        if (std::strncmp(text, replyClass.prefix, std::strlen(replyClass.prefix)) == 0)
            return replyClass.meaning;
    return FlashReply::Other;
}

std::uint64_t RoundUpToWord(std::uint64_t count) {
    return (count + 3) / 4 * 4;
}

} // namespace

// The loader sums whole words, so a count that is not a multiple of 4 takes in the bytes
// that follow it in the buffer.
std::uint32_t ComputeChecksum(const std::uint8_t* bytes, std::uint32_t count) {
    return SumWords(bytes, count);
}

// What one call sends: L (told to the loader and summed from byte 8), n (streamed from byte
// 0), the flash block size B, and the number of blocks k the progress bar counts.
struct SegmentTransfer::Plan {
    std::uint32_t length = 0;
    std::uint32_t sendCount = 0;
    std::uint32_t blockSize = 0;
    std::uint32_t blocks = 0;
};

// Refuses, before anything is sent, a segment that has no checksum range (L below 8) or
// whose data or checksum range would reach past its buffer.
StatusCode SegmentTransfer::PlanTransfer(const SegmentImage& segment, Plan& plan) {
    if (segment.type >= BLOCK_COUNT || BlockSizeTable[segment.type] == 0)
        return STATUS_FILE_CORRUPT;
    plan.length = segment.flag != 0 ? segment.length : segment.word1;
    if (plan.length < RECORD_CHECKSUM_START)
        return STATUS_FILE_CORRUPT;
    const std::uint32_t trim = segment.type == 0 ? TYPE_ZERO_TRIM : 0;
    if (segment.byteCount < trim)
        return STATUS_FILE_CORRUPT;
    plan.sendCount = segment.byteCount - trim;
    const std::uint64_t checksumEnd =
        RECORD_CHECKSUM_START + RoundUpToWord(plan.length - RECORD_CHECKSUM_START);
    if (plan.sendCount > segment.data.size() || checksumEnd > segment.data.size() ||
        plan.sendCount > std::numeric_limits<std::uint32_t>::max() - LOAD_BODY_OVERHEAD)
        return STATUS_FILE_CORRUPT;
    plan.blockSize = BlockSizeTable[segment.type];
    plan.blocks = static_cast<std::uint32_t>((std::uint64_t{plan.sendCount} + plan.blockSize - 1) /
                                             plan.blockSize);
    return STATUS_COMPLETE;
}

SegmentTransfer::SegmentTransfer(DeviceIo& device, Clock& clock, Log& log, Progress& progress,
                                 EventPump& pump)
    : device_(device), clock_(clock), log_(log), progress_(progress), pump_(pump),
      writer_(device, clock) {}

StatusCode SegmentTransfer::UpdateSegment(const SegmentImage& segment) {
    Plan plan;
    if (const StatusCode code = PlanTransfer(segment, plan))
        return code;

    // Each block of data is one step, and the loader's erase, program and result lines
    // fill the rest of the bar.
    const std::uint32_t upper = std::min<std::uint32_t>(3 * plan.blocks + 1, 0xFFFF);
    progress_.SetPos(0);
    progress_.SetStep(1);
    progress_.SetRange(0, static_cast<std::uint16_t>(upper));

    if (const StatusCode code = LoadData(segment, plan))
        return code;
    if (const StatusCode code = writer_.SetSegmentType(segment.type))
        return code;
    if (const StatusCode code = writer_.SetSegmentLength(plan.length))
        return code;
    const std::uint32_t expected = ComputeChecksum(segment.data.data() + RECORD_CHECKSUM_START,
                                                   plan.length - RECORD_CHECKSUM_START);
    if (const StatusCode code = CompareChecksum(expected))
        return code;
    writer_.PrepareFlash();
    if (const StatusCode code = writer_.ProgramFlash())
        return code;
    log_.AppendLog("    Write to flash ... ");
    return AwaitFlashResult();
}

StatusCode SegmentTransfer::LoadData(const SegmentImage& segment, const Plan& plan) {
    if (const StatusCode code = writer_.ResetWriter())
        return code;
    log_.AppendLog("    Loading ... ");
    if (const StatusCode code = writer_.StartLoad(plan.sendCount + LOAD_BODY_OVERHEAD))
        return code;
    if (const StatusCode code = StreamData(segment, plan))
        return code;
    if (const StatusCode code = writer_.FinishLoad())
        return code;
    log_.AppendLog("OK\r\n");
    return STATUS_COMPLETE;
}

// The whole record from byte 0, in writes of at most 1024 bytes, each followed by a pause.
// The window is kept alive once per flash block, not per write.
StatusCode SegmentTransfer::StreamData(const SegmentImage& segment, const Plan& plan) {
    std::uint32_t sent = 0;
    while (sent < plan.sendCount) {
        const std::uint32_t chunk = std::min(CHUNK_SIZE, plan.sendCount - sent);
        if (device_.DeviceWrite(segment.data.data() + sent, chunk) != VI_SUCCESS)
            return STATUS_LOAD_FAILED;
        sent += chunk;
        clock_.SleepMs(CHUNK_PAUSE_MS);
        if (sent % plan.blockSize == 0 || sent == plan.sendCount)
            StepProgress();
    }
    return STATUS_COMPLETE;
}

StatusCode SegmentTransfer::CompareChecksum(std::uint32_t expected) {
    log_.AppendLog("    Check Sum " + std::to_string(static_cast<std::int32_t>(expected)) +
                   " ... ");
    std::int32_t reported = 0;
    if (const StatusCode code = writer_.ReadChecksum(reported))
        return code;
    if (static_cast<std::uint32_t>(reported) != expected) {
        log_.AppendLog("Check Sum Error");
        return STATUS_CHECKSUM_MISMATCH;
    }
    log_.AppendLog("OK\r\n");
    return STATUS_COMPLETE;
}

// The loader reports erasing and programming line by line until its result line; only the
// read time-out of the session bounds the wait.
StatusCode SegmentTransfer::AwaitFlashResult() {
    for (;;) {
        const LoaderReply reply = ReadReply(device_);
        if (reply.status != VI_SUCCESS)
            return STATUS_FLASH_REPLY_FAILED;
        switch (ClassifyFlashReply(reply.text)) {
        case FlashReply::Progress:
            StepProgress();
            break;
        case FlashReply::AlreadyLatest:
            // The loader already holds exactly this data: nothing to program.
            return STATUS_COMPLETE;
        case FlashReply::Failed:
            return STATUS_PROGRAM_FAILED;
        case FlashReply::Programmed:
            log_.AppendLog("OK\r\n");
            return STATUS_COMPLETE;
        case FlashReply::Other:
            break;
        }
    }
}

void SegmentTransfer::StepProgress() {
    progress_.StepIt();
    pump_.PumpMessages();
}
