// One changing run per ROM directory at a time. The lock is an advisory lock (flock) taken on
// the directory itself, not on a file inside it: a read-only medium can be locked as well as a
// writable folder, and no lock file is ever left behind. Every Quillmark process takes it before
// it changes a directory's archives or cache; anything else may still read the directory.
// The kernel lists flock holders in /proc/locks, which tells a waiting run who is in the way.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <utility>

#include "platform/Platform.h"

namespace qm {

// Another process keeps the directory locked.
class ELockBusy : public EFileError {
public:
    ELockBusy(const fs::path& dir, pid_t holder);
    // 0 when the holder could not be told.
    pid_t Holder() const { return holder_; }

private:
    pid_t holder_;
};

class DirectoryLock {
public:
    DirectoryLock() = default;

    // Takes the lock of `dir`, trying again until `wait` has passed; throws ELockBusy when
    // another process still holds it then. A directory that cannot be opened, or a file system
    // that has no flock for directories, gives a lock that is not held: there is then nothing to
    // protect, or no way to.
    static DirectoryLock Acquire(const fs::path& dir, std::chrono::milliseconds wait);

    bool Held() const { return directory_.Get() >= 0; }

private:
    explicit DirectoryLock(FileHandle directory) : directory_(std::move(directory)) {}
    // The lock lives as long as this descriptor of the directory.
    FileHandle directory_;
};

// The process that holds a flock on `file`, from /proc/locks; 0 when none is listed.
pid_t FlockHolder(const fs::path& file);
// The command name of a process ("quillmark-cli"), empty when it cannot be read.
std::string ProcessName(pid_t pid);

}  // namespace qm
