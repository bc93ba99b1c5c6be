#include "engine/FilesTools.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/Platform.h"

namespace qm {

namespace fs = std::filesystem;

void MoveFileOrCopy(const fs::path& source, const fs::path& destination) {
    std::error_code ec;
    fs::path target = fs::absolute(destination, ec);
    if (ec) {
        target = destination;
    }
    if (::rename(source.c_str(), target.c_str()) == 0) {
        SyncDirectory(target.parent_path());
        return;
    }
    if (FileHasAttr(source, faReadOnly)) {
        throw EFCantMove("Can't move file. (readonly)");
    }
    if (const int err = CopyFileReplacing(source, target); err != 0) {
        throw EFCantMove(std::string("Can't copy file. (") + std::strerror(err) + ")");
    }
    if (::unlink(source.c_str()) != 0) {
        throw EFCantMove(std::string("Can't delete original. (") + std::strerror(errno) + ")");
    }
    SyncDirectory(fs::absolute(source, ec).parent_path());
}

int ExecAndWait(const std::vector<std::string>& argv, bool wait, bool /*minimized*/, const fs::path& stdoutFile) {
    return RunProcess(argv, wait, stdoutFile);
}

bool PathExists(const std::filesystem::path& path) {
    std::error_code ec;
    return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

bool IsBareFileName(std::string_view name) {
    return !name.empty() && name != "." && name != ".." &&
           name.find_first_of(std::string_view("/\\\0", 3)) == name.npos;
}

namespace {

// A descriptor of `folder` holding its lock, or -1 when another process holds it.
int LockFolder(const std::filesystem::path& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool IsWorkFolderName(std::string_view name, std::string_view prefix) {
    return name.size() == prefix.size() + 7 && name.starts_with(prefix) && name[prefix.size()] == '-';
}

}  // namespace

void RemoveStaleWorkFolders(const std::filesystem::path& scratch, std::string_view prefix) {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratch, ec)) {
        if (IsWorkFolderName(entry.path().filename().string(), prefix) && entry.is_directory(ec) &&
            !entry.is_symlink(ec)) {
            const int fd = LockFolder(entry.path());
            if (fd >= 0) {
                std::filesystem::remove_all(entry.path(), ec);
                ::close(fd);
            }
        }
    }
}

WorkFolder::WorkFolder(const std::filesystem::path& scratch, std::string_view prefix) {
    std::error_code ec;
    std::filesystem::create_directories(scratch, ec);
    RemoveStaleWorkFolders(scratch, prefix);
    std::string pattern = (scratch / (std::string(prefix) + "-XXXXXX")).string();
    if (::mkdtemp(pattern.data()) == nullptr) {
        throw EFileError(scratch, std::string("cannot create a work folder: ") + std::strerror(errno));
    }
    path_ = pattern;
    lock_ = LockFolder(path_);
}

WorkFolder::~WorkFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
    if (lock_ >= 0) {
        ::close(lock_);
    }
}

void WorkFolder::Empty() const {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(path_, ec)) {
        std::filesystem::remove_all(entry.path(), ec);
    }
}

}  // namespace qm
