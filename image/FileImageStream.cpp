#include "image/FileImageStream.h"

#include "image/ImageFile.h"
#include "image/LineReading.h"

#include <limits>
#include <sys/stat.h>
#include <sys/types.h>

FileImageStream::~FileImageStream() {
    std::fclose(file_);
}

void FileImageStream::ReadLine(std::string& line, std::size_t limit) {
    ReadLineFrom(*this, line, limit);
}

int FileImageStream::NextByte() {
    lastByte_ = std::getc(file_);
    return lastByte_ == EOF ? -1 : lastByte_;
}

void FileImageStream::PutBack() {
    std::ungetc(lastByte_, file_);
}

std::size_t FileImageStream::Read(std::uint8_t* buffer, std::size_t count) {
    return std::fread(buffer, 1, count, file_);
}

bool FileImageStream::Seek(std::uint64_t offset) {
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    return fseeko(file_, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::uint64_t FileImageStream::Tell() const {
    const off_t offset = ftello(file_);
    // An offset no stream can seek to, so that a reader relying on it fails.
    return offset < 0 ? std::numeric_limits<std::uint64_t>::max()
                      : static_cast<std::uint64_t>(offset);
}

bool FileImageStream::AtEnd() const {
    return std::feof(file_) != 0 || std::ferror(file_) != 0;
}

std::unique_ptr<ImageStream> OpenImageFile(const std::string& path) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        return nullptr;
    struct stat status {};
    if (fstat(fileno(file), &status) != 0 || S_ISDIR(status.st_mode)) {
        std::fclose(file);
        return nullptr;
    }
    return std::make_unique<FileImageStream>(file);
}
