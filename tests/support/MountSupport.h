// A small tmpfs mounted for one test: a full disk, a read-only medium or a second file system.
// Mounting needs root and a kernel that lets this process mount; tests skip otherwise.
#pragma once

#include <sys/mount.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace qm::test {

class ScopedTmpfs {
public:
    // Mounts a tmpfs of `bytes` at `dir` (created); Mounted() says whether it worked.
    ScopedTmpfs(const std::filesystem::path& dir, std::size_t bytes) : dir_(dir) {
        std::error_code ec;
        std::filesystem::create_directories(dir_, ec);
        const std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
        mounted_ = ::mount("tmpfs", dir_.c_str(), "tmpfs", 0, options.c_str()) == 0;
    }
    ~ScopedTmpfs() {
        if (mounted_) {
            ::umount2(dir_.c_str(), MNT_DETACH);
        }
    }
    ScopedTmpfs(const ScopedTmpfs&) = delete;
    ScopedTmpfs& operator=(const ScopedTmpfs&) = delete;

    bool Mounted() const { return mounted_; }
    bool MakeReadOnly() { return ::mount("tmpfs", dir_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0; }

private:
    std::filesystem::path dir_;
    bool mounted_ = false;
};

}  // namespace qm::test
