#include "UpdateRig.h"

#include "image/Checksum.h"

std::int32_t LoggedChecksum(const SegmentImage& segment) {
    std::uint32_t sum = 0;
    EXPECT_TRUE(SegmentChecksum(segment, sum));
    return static_cast<std::int32_t>(sum);
}

std::string CompletedLog(const ImageInfo& image, bool switched) {
    static const char* const headings[SEGMENT_COUNT] = {"1C3", "1C6DDS", "1C6POUT", "MAIN", "HTTP"};
    std::string log = "Connect ... OK\r\n";
    if (switched)
        log += "To Writer ... OK\r\nConnect ... OK\r\n";
    log += "Testing ... OK\r\nCheck Revision ... OK\r\n";
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        log += std::string("-> Update ") + headings[position] + "\r\n";
        log += "    Loading ... OK\r\n";
        log += "    Check Sum " + std::to_string(LoggedChecksum(image.segments[position])) +
               " ... OK\r\n";
        log += "    Write to flash ... OK\r\n";
    }
    return log + "--------------- Completed ---------------";
}
