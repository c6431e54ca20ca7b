#include "sim/Config.h"

namespace sim {

BenchConfig DefaultBench() {
    InstrumentConfig instrument;
    instrument.flashLineMs = DEMO_FLASH_LINE_MS;
    return BenchConfig{{instrument}};
}

std::string ResourceNameOf(const std::string& serial) {
    return "USB0::0x1D7A::0x52C1::" + serial + "::INSTR";
}

namespace {

void Place(std::string& field, std::size_t position, const std::string& text, std::size_t width) {
    for (std::size_t i = 0; i < width && i < text.size(); ++i)
        field[position + i] = text[i];
}

} // namespace

// Positions: MAIN 0..3, WRITER 6, FPGA1 9..10, FPGA2 12..13, FPGA3 15..16, HTTP 18..21.
std::string RevisionField(const Revisions& revisions) {
    std::string field(22, ' ');
    Place(field, 0, revisions.main, 4);
    field[6] = revisions.writer;
    Place(field, 9, revisions.fpga1, 2);
    Place(field, 12, revisions.fpga2, 2);
    Place(field, 15, revisions.fpga3, 2);
    Place(field, 18, revisions.http, 4);
    return field;
}

} // namespace sim
