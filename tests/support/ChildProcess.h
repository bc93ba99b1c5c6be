// Running code that must not block in a child process with a time limit, so that a test of it
// fails instead of hanging when it does block.
#pragma once

#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace qm::test {

// The exit status of `work` run in a child process, or nullopt when it did not end within
// `limit` (the child is then killed).
inline std::optional<int> RunInChild(const std::function<int()>& work, std::chrono::milliseconds limit) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        int status = 3;
        try {
            status = work();
        } catch (...) {
            status = 4;
        }
        std::_Exit(status);
    }
    const auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    for (;;) {
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            return WIFEXITED(status) ? std::optional<int>(WEXITSTATUS(status)) : std::optional<int>(128);
        }
        if (done < 0 || std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            return std::nullopt;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// quillmark-cli as built, run in a child process with the test's environment.
struct CliProcessRun {
    bool Finished = false;  // false: killed after the time limit
    int Status = -1;
    std::string Out;
    std::string Err;
};

inline CliProcessRun RunCliProcess(const std::filesystem::path& scratch, const std::vector<std::string>& args,
                                   std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const std::filesystem::path out = scratch / "child.out";
    const std::filesystem::path err = scratch / "child.err";
    const auto status = RunInChild(
        [&] {
            if (!std::freopen(out.c_str(), "w", stdout) || !std::freopen(err.c_str(), "w", stderr)) {
                return 5;
            }
            // A program that reads an endless file must fail here, not take the machine's memory.
            const rlimit memory{2ull << 30, 2ull << 30};
            ::setrlimit(RLIMIT_AS, &memory);
            std::vector<char*> argv{const_cast<char*>(QM_CLI_PATH)};
            for (const std::string& a : args) {
                argv.push_back(const_cast<char*>(a.c_str()));
            }
            argv.push_back(nullptr);
            ::execv(QM_CLI_PATH, argv.data());
            return 6;
        },
        limit);
    auto slurp = [](const std::filesystem::path& file) {
        std::ifstream in(file, std::ios::binary);
        std::ostringstream s;
        s << in.rdbuf();
        return s.str();
    };
    CliProcessRun run;
    run.Finished = status.has_value();
    run.Status = status.value_or(-1);
    run.Out = slurp(out);
    run.Err = slurp(err);
    return run;
}

}  // namespace qm::test
