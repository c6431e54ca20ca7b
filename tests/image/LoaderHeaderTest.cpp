#include "ImageTestFiles.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {
// One header, the "#FileStart" line and five good records.
struct HeaderCase {
    const char* label;
    std::string header;
    StatusCode status;
    std::string imageRev;
    std::string modelName = "";
    std::string description = "";
    std::string revsNotSupport = "";
};

TEST(LoadImageFile, HeaderLinesFillTheFieldsOrStop) {
    const HeaderCase cases[] = {
        {"trimmed and upper-cased", "#ImageRev = 1.0a \n", 0, "1.0A"},
        {"key trimmed", "# ModelName=tq4800\n", 0, "", "TQ4800"},
        {"value ends at =", "#ImageRev=1.0=beta\n", 0, "1.0"},
        {"leading = skipped", "#==ImageRev=1.0\n", 0, "1.0"},
        {"no value keeps", "#ImageRev=old\n#ImageRev\n#ImageRev=\n", 0, "OLD"},
        {"blank value empties", "#ImageRev=old\n#ImageRev=   \n", 0, ""},
        {"# only in column 1", " #ImageRev=1\nImageRev=2\n\n", 0, ""},
        {"keys case-sensitive", "#imagerev=1\n#\n#=\n# =x\n", 0, ""},
        // Bytes up to 0x20 and from 0x80 are blank at the ends; 0x7F and 0x21 are not.
        {"control and high bytes trimmed at ends",
         "#ImageRev=\x01\x80\xff\x7f"
         "1.0\x80x!\x20\xa0\n",
         0,
         "\x7f"
         "1.0\x80X!"},
        {"NUL ends the line", std::string("#ImageRev=1.0\0=x\n", 17), 0, "1.0"},
        // Each value at its longest once its line end and blanks are trimmed.
        {"every key at its limit",
         "#ImageRev=" + std::string(15, '1') + " \r\n#ModelName=" + std::string(63, 'm') +
             "\t\r\n#RevsNotSupport= " + std::string(15, 'r') + "\r\n#UpdatedDescription=" +
             std::string(511, 'd') + "\r\n#UtilityRev=" + std::string(15, '9') + " \r\n",
         0, std::string(15, '1'), std::string(63, 'M'), std::string(511, 'd'),
         std::string(15, 'R')},
        {"UtilityRev 16 too long", "#UtilityRev=" + std::string(16, '9') + "\n", 20, ""},
        {"16 characters too long",
         "#ModelName=TQ4800\n#ImageRev=" + std::string(16, '1') + "\n#RevsNotSupport=1\n", 20, "",
         "TQ4800"},
        {"64 for the model too long", "#ModelName=" + std::string(64, 'M') + "\n", 20, ""},
        {"512 too long", "#UpdatedDescription=" + std::string(512, 'd') + "\n", 20, ""},
        {"RevsNotSupport checked", "#RevsNotSupport=" + std::string(16, 'r') + "\n", 20, ""},
        {"long line split at 1022",
         "#Unknown=" + std::string(HEADER_LINE_LIMIT - 9, 'y') + "#ImageRev=7\n", 0, "7"}};
    for (const HeaderCase& test : cases) {
        SCOPED_TRACE(test.label);
        ImageInfo image;
        const auto file = Bytes(test.header + "#FileStart\n") + RecordsOf(AcceptedContents());
        EXPECT_EQ(LoadBytes(file, image), test.status);
        EXPECT_EQ(std::string(image.ImageRev), test.imageRev);
        EXPECT_EQ(std::string(image.ModelName), test.modelName);
        EXPECT_EQ(std::string(image.UpdatedDescription), test.description);
        EXPECT_EQ(std::string(image.RevsNotSupport), test.revsNotSupport);
        EXPECT_EQ(image.segments[4].type, test.status == 0 ? 8 : 0);
    }
}

// The records start after the line feed of a "#FileStart" line; a file without one or without
// records gives 19. A last line without its line feed is still read.
TEST(LoadImageFile, FileStartLinesStartTheBinaryPartAfterTheirLineFeed) {
    const std::tuple<std::string, bool, StatusCode> cases[] = {
        // the text, whether five records follow it, the result
        {"#ImageRev=1\n#FileStart\n", true, 0},
        {"#FileStart=anything\n", true, 0},
        {"#=FileStart\n", true, 0},
        {"# FileStart \r\n", true, 0},
        {"#filestart\n", true, 19},
        {"#ImageRev=1\nFileStart\n", true, 19},
        // The line feed right after 1022 characters ends this line; the records start after it.
        {"#FileStart" + std::string(1012, ' ') + "\n", true, 0},
        {"", false, 19},
        {"\n", false, 19},
        {"#FileStart", false, 19},
        {"#FileStart\n", false, 19},
        {"#ModelName=TQ4800", false, 19},
        {"#ImageRev=9", false, 19},
    };
    for (const auto& [text, withRecords, status] : cases) {
        ImageInfo image;
        const auto records = withRecords ? RecordsOf(AcceptedContents()) : Bytes("");
        EXPECT_EQ(LoadBytes(Bytes(text) + records, image), status) << text;
        EXPECT_STREQ(image.ImageRev,
                     text.starts_with("#ImageRev=") ? text.substr(10, 1).c_str() : "");
        EXPECT_EQ(image.segments[0].word0, status == 0 ? AcceptedContents().segments[0].word0 : 0);
    }
}

} // namespace
