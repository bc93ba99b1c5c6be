#include "platform/DirectoryLock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <thread>

namespace qm {

namespace {

std::string BusyText(pid_t holder) {
    std::string text = "in use by another process";
    if (holder > 0) {
        text += " (pid " + std::to_string(holder);
        if (const std::string name = ProcessName(holder); !name.empty()) {
            text += ", " + name;
        }
        text += ")";
    }
    return text + "; try again when it has finished";
}

}  // namespace

ELockBusy::ELockBusy(const fs::path& dir, pid_t holder) : EFileError(dir, BusyText(holder)), holder_(holder) {}

DirectoryLock DirectoryLock::Acquire(const fs::path& dir, std::chrono::milliseconds wait) {
    // Close-on-exec: an emulator started later must not keep the collection locked.
    FileHandle directory(::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.Get() < 0) {
        return DirectoryLock();
    }
    const auto deadline = std::chrono::steady_clock::now() + wait;
    for (;;) {
        if (::flock(directory.Get(), LOCK_EX | LOCK_NB) == 0) {
            return DirectoryLock(std::move(directory));
        }
        const int err = errno;
        if (err == EINTR) {
            continue;
        }
        if (err != EWOULDBLOCK) {
            return DirectoryLock();
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            throw ELockBusy(dir, FlockHolder(dir));
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

pid_t FlockHolder(const fs::path& file) {
    struct stat st {};
    if (::stat(file.c_str(), &st) != 0) {
        return 0;
    }
    // Lines such as "1: FLOCK  ADVISORY  WRITE 1234 fe:00:10961181 0 EOF"; the device is
    // major:minor in hexadecimal, the inode in decimal. Waiters are listed with "->" and skipped.
    char device[32];
    std::snprintf(device, sizeof device, "%02x:%02x:", major(st.st_dev), minor(st.st_dev));
    const std::string wanted = device + std::to_string(st.st_ino);
    std::ifstream locks("/proc/locks");
    std::string line;
    while (std::getline(locks, line)) {
        std::istringstream fields(line);
        std::string ordinal;
        std::string kind;
        std::string mode;
        std::string access;
        pid_t pid = 0;
        std::string where;
        if (!(fields >> ordinal >> kind) || kind == "->" || kind != "FLOCK") {
            continue;
        }
        if (fields >> mode >> access >> pid >> where && where == wanted) {
            return pid;
        }
    }
    return 0;
}

std::string ProcessName(pid_t pid) {
    std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

}  // namespace qm
