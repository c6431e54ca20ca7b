#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// The byte stream a firmware revision file is read from: a binary file, or memory in tests.
class ImageStream {
public:
    virtual ~ImageStream() = default;
    // Reads up to a line feed, storing at most limit characters; the line feed is consumed
    // and not stored. Stops after limit characters when no line feed came first; a line
    // feed right after them still ends that line and is consumed.
    virtual void ReadLine(std::string& line, std::size_t limit) = 0;
    // Reads up to count bytes; returns how many arrived.
    virtual std::size_t Read(std::uint8_t* buffer, std::size_t count) = 0;
    // Moves to an absolute offset, also beyond the end (reads there give nothing), and
    // clears the end state; false when the stream cannot be positioned there.
    virtual bool Seek(std::uint64_t offset) = 0;
    virtual std::uint64_t Tell() const = 0;
    // Whether a read has reached the end of the stream.
    virtual bool AtEnd() const = 0;
};
