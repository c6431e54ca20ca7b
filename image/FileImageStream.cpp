#include "image/FileImageStream.h"

#include "image/ImageFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <limits>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr std::size_t BUFFER_SIZE = 64 * 1024;

} // namespace

FileImageStream::FileImageStream(int descriptor) : descriptor_(descriptor), buffer_(BUFFER_SIZE) {}

FileImageStream::~FileImageStream() {
    close(descriptor_);
}

// The line reading of ReadLineFrom, a buffered piece at a time: a header scan through a
// large file without line feeds then runs at the speed of the disk.
void FileImageStream::ReadLine(std::string& line, std::size_t limit) {
    line.clear();
    for (;;) {
        if (next_ == filled_ && NextByte() >= 0)
            PutBack();
        if (next_ == filled_)
            return;
        const char* start = buffer_.data() + next_;
        const std::size_t room = limit - line.size();
        const std::size_t available = filled_ - next_;
        const auto* lineFeed =
            static_cast<const char*>(std::memchr(start, '\n', std::min(available, room + 1)));
        if (lineFeed != nullptr && static_cast<std::size_t>(lineFeed - start) <= room) {
            line.append(start, static_cast<std::size_t>(lineFeed - start));
            next_ += static_cast<std::size_t>(lineFeed - start) + 1;
            return;
        }
        const std::size_t taken = std::min(available, room);
        line.append(start, taken);
        next_ += taken;
        if (line.size() == limit && next_ < filled_)
            return;
    }
}

int FileImageStream::NextByte() {
    if (next_ == filled_) {
        next_ = 0;
        filled_ = ReadFile(buffer_.data(), buffer_.size());
        if (filled_ == 0) {
            atEnd_ = true;
            return -1;
        }
    }
    return static_cast<unsigned char>(buffer_[next_++]);
}

std::size_t FileImageStream::ReadFile(void* buffer, std::size_t count) {
    std::size_t total = 0;
    while (total < count) {
        const ssize_t got = read(descriptor_, static_cast<char*>(buffer) + total, count - total);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            break;
        total += static_cast<std::size_t>(got);
    }
    fileOffset_ += total;
    return total;
}

std::size_t FileImageStream::Read(std::uint8_t* buffer, std::size_t count) {
    const std::size_t buffered = std::min(count, filled_ - next_);
    std::copy_n(buffer_.data() + next_, buffered, buffer);
    next_ += buffered;
    const std::size_t total = buffered + ReadFile(buffer + buffered, count - buffered);
    if (total < count)
        atEnd_ = true;
    return total;
}

bool FileImageStream::Seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()) ||
        lseek(descriptor_, static_cast<off_t>(offset), SEEK_SET) < 0)
        return false;
    next_ = filled_ = 0;
    fileOffset_ = offset;
    atEnd_ = false;
    return true;
}

std::uint64_t FileImageStream::Tell() const {
    return fileOffset_ - (filled_ - next_);
}

// Opened without waiting, so that a FIFO without a writer cannot hold the program; anything
// but a regular file is then refused before a byte is read, since a device or a pipe may
// never reach the end the header scan waits for, and has no offsets to seek to.
std::unique_ptr<FileImageStream> OpenImageFile(const std::string& path) {
    const int descriptor = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (descriptor < 0)
        return nullptr;
    struct stat status {};
    if (fstat(descriptor, &status) != 0 || !S_ISREG(status.st_mode)) {
        close(descriptor);
        errno = 0; // no system error: the file is of the wrong kind
        return nullptr;
    }
    return std::make_unique<FileImageStream>(descriptor);
}
