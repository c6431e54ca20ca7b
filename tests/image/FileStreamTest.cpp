#include "ImageTestFiles.h"
#include "image/ValidateImage.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {
class FileStream : public testing::Test {
protected:
    void SetUp() override {
        folder_ = std::filesystem::temp_directory_path() /
                  ("tq4800-image-test-" + std::to_string(::getpid()));
        std::filesystem::create_directories(folder_);
    }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::filesystem::path path = folder_ / name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path.string();
    }

    std::filesystem::path folder_;
};

TEST_F(FileStream, LoadsLikeTheMemoryStream) {
    const auto bytes = WriteImageFile(AcceptedContents()) + Bytes("trailing");
    auto stream = OpenImageFile(Write("good.img", bytes));
    ASSERT_NE(stream, nullptr);
    ImageInfo fromFile, fromMemory;
    ASSERT_EQ(LoadImageFile(*stream, fromFile), 0);
    ASSERT_EQ(LoadBytes(bytes, fromMemory), 0);
    EXPECT_EQ(ValidateImage(fromFile), 0);
    for (int position = 0; position < SEGMENT_COUNT; ++position)
        EXPECT_EQ(fromFile.segments[position].data, fromMemory.segments[position].data);
}

TEST_F(FileStream, FailsLikeTheMemoryStream) {
    auto bytes = Bytes("#ImageRev=1\r\n" + std::string(1500, 'x') + "\n#FileStart") +
                 RecordsOf(AcceptedContents());
    for (const auto& file : {bytes, Bytes("#ImageRev=1"), Bytes("#FileStart\n")}) {
        auto stream = OpenImageFile(Write("bad.img", file));
        ASSERT_NE(stream, nullptr);
        ImageInfo fromFile, fromMemory;
        EXPECT_EQ(LoadImageFile(*stream, fromFile), LoadBytes(file, fromMemory));
        EXPECT_STREQ(fromFile.ImageRev, fromMemory.ImageRev);
    }
}

TEST_F(FileStream, MissingFilesAndFoldersDoNotOpen) {
    EXPECT_EQ(OpenImageFile((folder_ / "missing.img").string()), nullptr);
    EXPECT_EQ(OpenImageFile(folder_.string()), nullptr);
}

void ExpectSeeksPastTheEndReadNothing(ImageStream& stream) {
    ASSERT_TRUE(stream.Seek(10));
    std::uint8_t byte = 0;
    EXPECT_EQ(stream.Read(&byte, 1), 0u);
    EXPECT_TRUE(stream.AtEnd());
    ASSERT_TRUE(stream.Seek(1));
    EXPECT_FALSE(stream.AtEnd());
    std::string line;
    stream.ReadLine(line, 1);
    EXPECT_EQ(line, "b");
    EXPECT_EQ(stream.Tell(), 2u);
    stream.ReadLine(line, 5);
    EXPECT_EQ(line, "c");
    EXPECT_TRUE(stream.AtEnd());
}

TEST_F(FileStream, SeeksPastTheEndReadNothing) {
    auto stream = OpenImageFile(Write("short.img", Bytes("abc")));
    ASSERT_NE(stream, nullptr);
    ExpectSeeksPastTheEndReadNothing(*stream);
    const auto bytes = Bytes("abc");
    MemoryImageStream memory(bytes);
    ExpectSeeksPastTheEndReadNothing(memory);
}
} // namespace
