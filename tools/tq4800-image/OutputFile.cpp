#include "OutputFile.h"

#include "TemporaryFile.h"
#include "ToolOutput.h"
#include "image/FormatText.h"

#include <cerrno>
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

// Why an existing target must not be replaced, or nothing. A new file put in its place would
// part it from its other names, and it would let a caller replace a file that is read-only
// for them because the folder is theirs.
std::string ReplaceProblem(const std::string& target, const struct stat& existing) {
    if (!S_ISREG(existing.st_mode))
        return "not a regular file";
    if (existing.st_nlink > 1)
        return FormatText("it has %ju hard links, which a new file would part from each other",
                          static_cast<std::uintmax_t>(existing.st_nlink));
    if (faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)
        return std::string("you may not write it: ") + std::strerror(errno);
    return {};
}

// The new file gets the old one's owner, group and permissions (the owner first: a change of
// owner clears the set-user-ID bit); a new path those a plain create would give.
std::string TakeOverFile(int descriptor, const struct stat& existing, bool exists) {
    if (exists && fchown(descriptor, existing.st_uid, existing.st_gid) != 0)
        return FormatText("cannot keep its owner and group (%ju:%ju): %s",
                          static_cast<std::uintmax_t>(existing.st_uid),
                          static_cast<std::uintmax_t>(existing.st_gid), std::strerror(errno));
    mode_t mode = existing.st_mode & 07777;
    if (!exists) {
        const mode_t mask = umask(0);
        umask(mask);
        mode = 0666 & ~mask;
    }
    if (fchmod(descriptor, mode) != 0)
        return std::string("cannot set its permissions: ") + std::strerror(errno);
    return {};
}

std::string WriteAll(int descriptor, const std::vector<std::uint8_t>& bytes) {
    std::size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t written = write(descriptor, bytes.data() + done, bytes.size() - done);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return std::string("cannot write: ") + std::strerror(written < 0 ? errno : ENOSPC);
        done += static_cast<std::size_t>(written);
    }
    if (fsync(descriptor) != 0)
        return std::string("cannot write: ") + std::strerror(errno);
    return {};
}

// The rename is on the disk only once the folder is: without this a power cut right after
// the program ended could bring back the old file, or none.
std::string SyncFolder(const std::string& folder) {
    const int descriptor = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor < 0)
        return std::string("written, but its folder cannot be opened to sync it: ") +
               std::strerror(errno);
    // Some file systems cannot sync a folder; there the rename is as safe as they make it.
    const bool synced = fsync(descriptor) == 0 || errno == EINVAL;
    const int error = errno;
    close(descriptor);
    if (!synced)
        return std::string("written, but its folder cannot be synced: ") + std::strerror(error);
    return {};
}

std::string Replace(const std::string& target, const std::vector<std::uint8_t>& bytes) {
    struct stat existing {};
    const bool exists = stat(target.c_str(), &existing) == 0;
    if (exists) {
        if (std::string problem = ReplaceProblem(target, existing); !problem.empty())
            return problem + "; it is left as it is";
    }
    TemporaryFile temporary(target);
    if (temporary.Descriptor() < 0)
        return std::string("cannot create a file beside it: ") + std::strerror(errno);
    std::string problem = TakeOverFile(temporary.Descriptor(), existing, exists);
    if (problem.empty())
        problem = WriteAll(temporary.Descriptor(), bytes);
    if (problem.empty() && !temporary.Commit(target))
        problem = std::string("cannot replace: ") + std::strerror(errno);
    if (problem.empty())
        problem = SyncFolder(FolderOf(target));
    return problem;
}

} // namespace

bool WriteOutputFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    const std::string problem = Replace(FinalTarget(path), bytes);
    if (!problem.empty())
        PrintError(path + ": " + problem);
    return problem.empty();
}
