#include "link/RevisionCheck.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {

constexpr std::uint8_t MAIN = 14, WRITER = 1, FPGA1 = 3, FPGA2 = 4, FPGA3 = 6, HTTP = 8;

// Positions: MAIN 0-3, WRITER 6, FPGA1 9-10, FPGA2 12-13, FPGA3 15-16, HTTP 18-21.
constexpr const char* FIELD = "1.23  F  45 67 89 B.01";

std::string Reply(std::string field = FIELD) {
    return "WRITER,TQ4800,TW00012345," + field;
}

std::string FieldWith(std::size_t position, std::string_view text) {
    std::string field = FIELD;
    field.replace(position, text.size(), text);
    return field;
}

// Each row: its name, the segment's type, the file's revision, the loader's identity, the
// result; a missing text is refused.
TEST(RevisionCheckTest, ComparesTheFilesRevisionWithTheLoadersField) {
    const std::tuple<const char*, std::uint8_t, std::string, std::string, StatusCode> cases[] = {
        {"MainNewerMinor", MAIN, "1.24", Reply(), STATUS_COMPLETE},
        {"MainOlderMinor", MAIN, "1.22", Reply(), STATUS_DEVICE_NEWER},
        {"MainFirstMinorDecides", MAIN, "1.14", Reply(), STATUS_DEVICE_NEWER},
        {"MainMajorDecidesFirst", MAIN, "2.00", Reply(FieldWith(0, "1.99")), STATUS_COMPLETE},
        {"MainLetterAboveDigit", MAIN, "A.00", Reply(FieldWith(0, "9.99")), STATUS_COMPLETE},
        {"DeviceSeparatorIgnored", MAIN, "1.22", Reply(FieldWith(1, "-")), STATUS_DEVICE_NEWER},
        {"WriterOlder", WRITER, "E", Reply(), STATUS_DEVICE_NEWER},
        {"Fpga1Older", FPGA1, "44", Reply(), STATUS_DEVICE_NEWER},
        {"Fpga2Older", FPGA2, "07", Reply(FieldWith(12, "10")), STATUS_DEVICE_NEWER},
        {"Fpga2SecondDigitDecides", FPGA2, "66", Reply(), STATUS_DEVICE_NEWER},
        {"Fpga3SecondDigitDecides", FPGA3, "88", Reply(), STATUS_DEVICE_NEWER},
        {"Fpga1SecondDigitDecides", FPGA1, "46", Reply(), STATUS_COMPLETE},
        {"HttpOlder", HTTP, "A.99", Reply(), STATUS_DEVICE_NEWER},
        {"HttpFirstMinorDecides", HTTP, "B.10", Reply(), STATUS_COMPLETE},
        {"HttpSecondMinorDecides", HTTP, "B.00", Reply(), STATUS_DEVICE_NEWER},
        {"HighByteRanksBelowDigits", MAIN, "1.00", Reply(FieldWith(0, "\xB0")), STATUS_COMPLETE},
        {"CommaInsideField", MAIN, "1.23", Reply(FieldWith(4, ",,")), STATUS_COMPLETE},
        {"TwoCommas", MAIN, "1.23", "WRITER,TQ4800," + std::string(FIELD),
         STATUS_DEVICE_REV_UNKNOWN},
        {"Field21", MAIN, "1.23", Reply(std::string(FIELD).substr(0, 21)),
         STATUS_DEVICE_REV_UNKNOWN},
        {"Field23", MAIN, "1.23", Reply(std::string(FIELD) + "2"), STATUS_DEVICE_REV_UNKNOWN},
        {"MainCommaSeparator", MAIN, "1,23", Reply(), STATUS_FILE_REV_BAD},
        {"MainLowerCaseMajor", MAIN, "a.23", Reply(), STATUS_FILE_REV_BAD},
        {"MainShort", MAIN, "1.2", Reply(), STATUS_FILE_REV_BAD},
        {"HttpMinorNotDigit", HTTP, "B.0X", Reply(), STATUS_FILE_REV_BAD},
        {"WriterLowerCase", WRITER, "f", Reply(), STATUS_FILE_REV_BAD},
        {"FpgaSecondNotDigit", FPGA2, "1A", Reply(), STATUS_FILE_REV_BAD},
        {"UnknownType", 2, "1.23", Reply(), STATUS_NOT_COMPLETE},
        {"UnknownTypeBeforeFileForm", 5, "??", Reply(), STATUS_NOT_COMPLETE},
        {"ReplyBeforeType", 5, "??", Reply() + "\n", STATUS_DEVICE_REV_UNKNOWN},
    };
    for (const auto& [name, type, fileRevision, reply, expected] : cases)
        EXPECT_EQ(CheckRevision(type, fileRevision.c_str(), reply.c_str()), expected) << name;
    EXPECT_EQ(CheckRevision(MAIN, "1.23", nullptr), STATUS_DEVICE_REV_UNKNOWN);
    EXPECT_EQ(CheckRevision(MAIN, nullptr, Reply().c_str()), STATUS_FILE_REV_BAD);
}

} // namespace
