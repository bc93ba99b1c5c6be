#include "platform/TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

namespace qm {

namespace fs = std::filesystem;

namespace {

bool SameFile(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

int LockExclusive(int fd, int flags) {
    int rc = 0;
    do {
        rc = ::flock(fd, LOCK_EX | flags);
    } while (rc != 0 && errno == EINTR);
    return rc;
}

}  // namespace

namespace {

bool EndsWithRandomPart(std::string_view name, std::size_t markerSize) {
    constexpr std::size_t kRandom = 6;
    if (name.size() < markerSize + kRandom + 1) {
        return false;
    }
    for (const char c : name.substr(name.size() - kRandom)) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool IsZipWriterLeftover(std::string_view name) {
    constexpr std::string_view kZip = ".zip.";
    if (!EndsWithRandomPart(name, kZip.size())) {
        return false;
    }
    std::string marker(name.substr(name.size() - 6 - kZip.size(), kZip.size()));
    for (char& c : marker) {
        c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    }
    return marker == kZip;
}

bool IsTempFileName(std::string_view name) {
    constexpr std::size_t kRandom = 6;
    if (name.size() < kTempMarker.size() + kRandom + 1) {
        return false;
    }
    const std::size_t marker = name.size() - kRandom - kTempMarker.size();
    if (name.substr(marker, kTempMarker.size()) != kTempMarker) {
        return false;
    }
    for (const char c : name.substr(name.size() - kRandom)) {
        const bool alnum = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!alnum) {
            return false;
        }
    }
    return true;
}

int CreateTempBeside(const fs::path& target, fs::path& tempPath) {
    // A cleaner in another process may find the new file between its creation and its lock,
    // take it for a leftover and remove it; then the name no longer leads to this file and a new
    // one is made. A few rounds are plenty: the window is a few instructions wide.
    for (int attempt = 0; attempt < 16; ++attempt) {
        std::string pattern = target.string();
        pattern += kTempMarker;
        pattern += "XXXXXX";
        const int fd = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (fd < 0) {
            return -1;
        }
        // A file system without flock still gets its temporary file, unprotected.
        LockExclusive(fd, 0);
        struct stat opened {};
        struct stat named {};
        if (::fstat(fd, &opened) == 0 && ::lstat(pattern.c_str(), &named) == 0 && SameFile(opened, named)) {
            tempPath = pattern;
            return fd;
        }
        ::close(fd);
    }
    errno = EEXIST;
    return -1;
}

std::vector<fs::path> RemoveStaleTempFiles(const fs::path& dir, const std::vector<std::string>& names) {
    std::vector<fs::path> removed;
    if (names.empty()) {
        return removed;
    }
    const int dirFd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dirFd < 0) {
        return removed;
    }
    for (const std::string& name : names) {
        if (!IsTempFileName(name) && !IsZipWriterLeftover(name)) {
            continue;
        }
        // Opened for writing where allowed: a network file system grants an exclusive lock only
        // on a file open for writing. Never through a symlink, never blocking on a FIFO.
        constexpr int kFlags = O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC | O_NOCTTY;
        int fd = ::openat(dirFd, name.c_str(), O_RDWR | kFlags);
        if (fd < 0) {
            fd = ::openat(dirFd, name.c_str(), O_RDONLY | kFlags);
        }
        if (fd < 0) {
            continue;
        }
        struct stat opened {};
        struct stat named {};
        // Held by a live writer: not stale. Checked again after the lock: the name must still
        // lead to the file that was locked.
        if (::fstat(fd, &opened) == 0 && S_ISREG(opened.st_mode) && LockExclusive(fd, LOCK_NB) == 0 &&
            ::fstatat(dirFd, name.c_str(), &named, AT_SYMLINK_NOFOLLOW) == 0 && SameFile(opened, named) &&
            ::unlinkat(dirFd, name.c_str(), 0) == 0) {
            removed.push_back(dir / name);
        }
        ::close(fd);
    }
    ::close(dirFd);
    return removed;
}

std::vector<fs::path> RemoveStaleTempFiles(const fs::path& dir) {
    std::vector<std::string> names;
    if (DIR* handle = ::opendir(dir.c_str())) {
        while (const dirent* entry = ::readdir(handle)) {
            if (IsTempFileName(entry->d_name)) {
                names.emplace_back(entry->d_name);
            }
        }
        ::closedir(handle);
    }
    return RemoveStaleTempFiles(dir, names);
}

}  // namespace qm
