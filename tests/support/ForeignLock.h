// Another process that holds the lock of a directory (as a second Quillmark run would) until
// it is destroyed or its time is up.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

namespace qm::test {

class ForeignLock {
public:
    explicit ForeignLock(const std::filesystem::path& dir,
                         std::chrono::milliseconds holdFor = std::chrono::minutes(10)) {
        int ready[2];
        EXPECT_EQ(::pipe(ready), 0);
        pid_ = ::fork();
        if (pid_ == 0) {
            const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY);
            const char answer = fd >= 0 && ::flock(fd, LOCK_EX) == 0 ? 'y' : 'n';
            (void)!::write(ready[1], &answer, 1);
            ::usleep(static_cast<useconds_t>(holdFor.count() * 1000));
            ::_exit(0);
        }
        ::close(ready[1]);
        char answer = 0;
        EXPECT_EQ(::read(ready[0], &answer, 1), 1);
        EXPECT_EQ(answer, 'y');
        ::close(ready[0]);
    }
    ~ForeignLock() {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    ForeignLock(const ForeignLock&) = delete;
    ForeignLock& operator=(const ForeignLock&) = delete;

    pid_t Pid() const { return pid_; }

private:
    pid_t pid_ = -1;
};

}  // namespace qm::test
