#pragma once

#include "image/ImageStream.h"

#include <span>

// An image stream over bytes in memory, which must outlive it. Seeking beyond the end is
// allowed, as in a file; reads there return nothing.
class MemoryImageStream final : public ImageStream {
public:
    explicit MemoryImageStream(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}

    void ReadLine(std::string& line, std::size_t limit) override;
    std::size_t Read(std::uint8_t* buffer, std::size_t count) override;
    bool Seek(std::uint64_t offset) override;
    std::uint64_t Tell() const override { return offset_; }
    bool AtEnd() const override { return atEnd_; }

    int NextByte();
    void PutBack() { --offset_; }

private:
    std::span<const std::uint8_t> bytes_;
    std::uint64_t offset_ = 0;
    bool atEnd_ = false;
};
