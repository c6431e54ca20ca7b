#pragma once

#include "image/ImageStream.h"

#include <cstdio>

// An image stream over a file opened for reading in binary mode. A read error counts as
// the end of the file, so that no reader loops on a stream that gives nothing.
class FileImageStream final : public ImageStream {
public:
    explicit FileImageStream(std::FILE* file) : file_(file) {}
    ~FileImageStream() override;
    FileImageStream(const FileImageStream&) = delete;
    FileImageStream& operator=(const FileImageStream&) = delete;

    void ReadLine(std::string& line, std::size_t limit) override;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    bool Seek(std::uint64_t offset) override;
    std::uint64_t Tell() const override;
    bool AtEnd() const override;

    int NextByte();
    void PutBack();

private:
    std::FILE* file_;
    int lastByte_ = -1;
};
