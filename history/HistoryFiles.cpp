#include "history/HistoryFiles.h"

#include <cerrno>
#include <fcntl.h>
#include <filesystem>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace {

// The magic numbers of linux/magic.h and the kernel's smb and fuse file systems.
constexpr long NETWORK_TYPES[] = {
    0x6969,     // NFS
    0x517B,     // SMB
    0xFF534D42, // CIFS
    0xFE534D42, // SMB2
    0x65735546, // FUSE
};

bool MakeFolders(const std::filesystem::path& folder) {
    std::error_code ignored;
    if (folder.empty() || std::filesystem::is_directory(folder, ignored))
        return true;
    if (!MakeFolders(folder.parent_path()))
        return false;
    return mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST;
}

} // namespace

bool MakePrivateFile(const std::string& path) {
    const std::filesystem::path file(path);
    std::error_code error;
    if (std::filesystem::exists(file, error))
        return true;
    if (!MakeFolders(file.parent_path()))
        return false;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0)
        return errno == EEXIST;
    close(fd);
    return true;
}

bool IsNetworkFileSystemType(long type) {
    for (const long network : NETWORK_TYPES)
        if (type == network)
            return true;
    return false;
}

bool OnNetworkFileSystem(const std::string& path) {
    std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (folder.empty())
        folder = ".";
    struct statfs facts {};
    return statfs(folder.c_str(), &facts) == 0 && IsNetworkFileSystemType(facts.f_type);
}

std::string FileUri(const std::string& path) {
    static constexpr char DIGITS[] = "0123456789ABCDEF";
    std::string uri = "file:";
    for (const char character : path) {
        const auto byte = static_cast<unsigned char>(character);
        const bool plain = (byte >= 'a' && byte <= 'z') || (byte >= 'A' && byte <= 'Z') ||
                           (byte >= '0' && byte <= '9') || byte == '/' || byte == '.' ||
                           byte == '-' || byte == '_';
        if (plain) {
            uri += character;
        } else {
            uri += '%';
            uri += DIGITS[byte >> 4];
            uri += DIGITS[byte & 0x0f];
        }
    }
    return uri;
}
