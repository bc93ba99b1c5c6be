// Runs one benchmark pass in a child process, so that its peak memory is its own, and hands
// back its plain result and that peak.
#pragma once

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>
#include <utility>

namespace qm::bench {

template <class Result, class Pass>
std::pair<Result, long> RunInChild(Pass&& pass) {
    static_assert(std::is_trivially_copyable_v<Result>, "the result crosses a pipe as bytes");
    int fds[2];
    if (::pipe(fds) != 0) {
        std::perror("pipe");
        std::exit(1);
    }
    const pid_t pid = ::fork();
    if (pid == 0) {
        ::close(fds[0]);
        const Result result = pass();
        const bool sent = ::write(fds[1], &result, sizeof result) == static_cast<ssize_t>(sizeof result);
        // No destructors: tearing a full database down is not part of what is measured.
        std::_Exit(sent ? 0 : 2);
    }
    ::close(fds[1]);
    Result result{};
    if (::read(fds[0], &result, sizeof result) != static_cast<ssize_t>(sizeof result)) {
        std::fprintf(stderr, "benchmark pass failed\n");
        std::exit(1);
    }
    ::close(fds[0]);
    int status = 0;
    rusage usage{};
    ::wait4(pid, &status, 0, &usage);
    return {result, usage.ru_maxrss};
}

}  // namespace qm::bench
