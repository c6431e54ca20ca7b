#include "UpdateRig.h"

std::string CompletedLog(bool switched) {
    static const char* const headings[SEGMENT_COUNT] = {"1C3", "1C6DDS", "1C6POUT", "MAIN", "HTTP"};
    // The loader's sums of TestFirmware's segments, worked out apart from the product's code.
    static const char* const sums[SEGMENT_COUNT] = {"84910819", "2038897507", "-958960453",
                                                    "-1523624548", "-487670503"};
    std::string log = "Connect ... OK\r\n";
    if (switched)
        log += "To Writer ... OK\r\nConnect ... OK\r\n";
    log += "Testing ... OK\r\nCheck Revision ... OK\r\n";
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        log += std::string("-> Update ") + headings[position] + "\r\n";
        log += "    Loading ... OK\r\n";
        log += std::string("    Check Sum ") + sums[position] + " ... OK\r\n";
        log += "    Write to flash ... OK\r\n";
    }
    return log + "--------------- Completed ---------------";
}
