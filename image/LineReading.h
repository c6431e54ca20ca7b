#pragma once

#include <cstddef>
#include <string>

// The line reading both image streams share. source.NextByte() gives the next byte (0 to
// 255) or -1 at the end of the stream, and source.PutBack() returns the byte just taken.
// A line feed right after limit characters still ends that line and is consumed, as a
// standard getline with room for limit characters does; any other byte stays for the next
// line.
template <typename ByteSource>
void ReadLineFrom(ByteSource& source, std::string& line, std::size_t limit) {
    line.clear();
    for (;;) {
        const int byte = source.NextByte();
        if (byte < 0 || byte == '\n')
            return;
        if (line.size() == limit) {
            source.PutBack();
            return;
        }
        line.push_back(static_cast<char>(byte));
    }
}
