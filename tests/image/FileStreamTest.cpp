#include "ImageTestFiles.h"

#include <gtest/gtest.h>

namespace {
using FileStream = TempFolderTest;

// The file stream loads and fails exactly as the memory stream the other tests use.
TEST_F(FileStream, LoadsLikeTheMemoryStream) {
    const auto good = WriteImageFile(AcceptedContents()) + Bytes("trailing");
    const auto longLine = Bytes("#ImageRev=1\r\n" + std::string(1500, 'x') + "\n#FileStart") +
                          RecordsOf(AcceptedContents());
    // Records that begin and end across the stream's 64 KiB buffer.
    const auto pastBuffer = Bytes("#ImageRev=1\n" + std::string(65530, '\n') + "#FileStart\n") +
                            RecordsOf(AcceptedContents());
    for (const auto& file :
         {good, longLine, pastBuffer, Bytes("#ImageRev=1"), Bytes("#FileStart\n")}) {
        auto stream = OpenImageFile(Write("case.img", file));
        ASSERT_NE(stream, nullptr);
        ImageInfo fromFile, fromMemory;
        EXPECT_EQ(LoadImageFile(*stream, fromFile), LoadBytes(file, fromMemory));
        EXPECT_STREQ(fromFile.ImageRev, fromMemory.ImageRev);
        for (int position = 0; position < SEGMENT_COUNT; ++position)
            EXPECT_EQ(fromFile.segments[position].data, fromMemory.segments[position].data);
    }
}

} // namespace
