#pragma once

#include "image/ImageStream.h"

#include <cstdint>
#include <vector>

// An image stream over a regular file opened for reading, with a buffer of its own so that
// the header scan reads the file in large pieces rather than a byte at a time. A read error
// counts as the end of the file, so that no reader loops on a stream that gives nothing.
class FileImageStream final : public ImageStream {
public:
    explicit FileImageStream(int descriptor);
    ~FileImageStream() override;
    FileImageStream(const FileImageStream&) = delete;
    FileImageStream& operator=(const FileImageStream&) = delete;

    void ReadLine(std::string& line, std::size_t limit) override;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    bool Seek(std::uint64_t offset) override;
    std::uint64_t Tell() const override;
    bool AtEnd() const override { return atEnd_; }

    // The open file, for reading its bytes again (pread) without moving the stream.
    int Descriptor() const { return descriptor_; }

    int NextByte();
    void PutBack() { --next_; }

private:
    // Reads up to count bytes from the file at its position; 0 at the end or on an error.
    std::size_t ReadFile(void* buffer, std::size_t count);

    int descriptor_;
    std::vector<char> buffer_;
    std::size_t next_ = 0;
    std::size_t filled_ = 0;
    std::uint64_t fileOffset_ = 0; // the file's position: the offset after the buffered bytes
    bool atEnd_ = false;
};
