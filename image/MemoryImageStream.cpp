#include "image/MemoryImageStream.h"

#include "image/LineReading.h"

#include <algorithm>

void MemoryImageStream::ReadLine(std::string& line, std::size_t limit) {
    ReadLineFrom(*this, line, limit);
}

int MemoryImageStream::NextByte() {
    if (offset_ >= bytes_.size()) {
        atEnd_ = true;
        return -1;
    }
    return bytes_[offset_++];
}

std::size_t MemoryImageStream::Read(std::uint8_t* buffer, std::size_t count) {
    const std::uint64_t available = offset_ < bytes_.size() ? bytes_.size() - offset_ : 0;
    const std::size_t taken = static_cast<std::size_t>(std::min<std::uint64_t>(count, available));
    if (taken > 0) {
        std::copy_n(bytes_.data() + offset_, taken, buffer);
        offset_ += taken;
    }
    if (taken < count)
        atEnd_ = true;
    return taken;
}

bool MemoryImageStream::Seek(std::uint64_t offset) {
    offset_ = offset;
    atEnd_ = false;
    return true;
}
