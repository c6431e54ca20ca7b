#include "OutputFile.h"

#include "ToolOutput.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Linux follows at most this many symlinks in a path.
constexpr int MAX_SYMLINK_HOPS = 40;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The path the bytes end up at: path itself, or the end of its chain of symlinks.
std::string FinalTarget(std::string path) {
    for (int hop = 0; hop < MAX_SYMLINK_HOPS; ++hop) {
        struct stat status {};
        if (lstat(path.c_str(), &status) != 0 || !S_ISLNK(status.st_mode))
            return path;
        std::string link(static_cast<std::size_t>(status.st_size) + 1, '\0');
        const ssize_t length = readlink(path.c_str(), link.data(), link.size());
        if (length < 0)
            return path;
        link.resize(static_cast<std::size_t>(length));
        path = link.starts_with('/') ? link : FolderOf(path) + "/" + link;
    }
    return path;
}

// An existing file keeps its permissions; a new one gets those a plain create would give.
mode_t ModeFor(const struct stat& existing, bool exists) {
    if (exists)
        return existing.st_mode & 07777;
    const mode_t mask = umask(0);
    umask(mask);
    return 0666 & ~mask;
}

bool WriteAll(int descriptor, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        done += static_cast<std::size_t>(written);
    }
    return fsync(descriptor) == 0;
}

bool Fail(const std::string& path, const std::string& what, const std::string& temporary) {
    const std::string reason = std::strerror(errno);
    if (!temporary.empty())
        unlink(temporary.c_str());
    PrintError(path + ": " + what + ": " + reason);
    return false;
}

} // namespace

bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string target = FinalTarget(path);
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        PrintError(path + ": not a regular file; it is left as it is");
        return false;
    }
    std::string temporary = FolderOf(target) + "/." + NameOf(target) + ".XXXXXX";
    const int descriptor = mkostemp(temporary.data(), O_CLOEXEC);
    if (descriptor < 0)
        return Fail(path, "cannot create a file beside it", "");
    const bool written =
        fchmod(descriptor, ModeFor(existing, exists)) == 0 && WriteAll(descriptor, bytes);
    if (close(descriptor) != 0 || !written)
        return Fail(path, "cannot write", temporary);
    if (rename(temporary.c_str(), target.c_str()) != 0)
        return Fail(path, "cannot replace", temporary);
    return true;
}
