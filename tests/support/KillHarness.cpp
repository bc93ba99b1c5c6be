#include "support/KillHarness.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <set>
#include <sstream>
#include <thread>

#include "archive/crc32.h"
#include "engine/DatFileUnit.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/TempFiles.h"

extern char** environ;

namespace qm::test {

namespace {

ChildOutcome Wait(int pid, std::chrono::steady_clock::time_point start) {
    ChildOutcome outcome;
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    outcome.Elapsed = std::chrono::steady_clock::now() - start;
    outcome.Killed = WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
    outcome.ExitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return outcome;
}

}  // namespace

ChildProgram::ChildProgram(std::vector<std::string> argv, const std::vector<std::pair<std::string, std::string>>& env)
    : argv_(std::move(argv)) {
    std::set<std::string> replaced;
    for (const auto& [name, value] : env) {
        environment_.push_back(name + "=" + value);
        replaced.insert(name);
    }
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string text = *entry;
        if (replaced.count(text.substr(0, text.find('='))) == 0) {
            environment_.push_back(text);
        }
    }
}

int ChildProgram::Spawn() const {
    std::vector<char*> args;
    for (const std::string& arg : argv_) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);
    std::vector<char*> env;
    for (const std::string& entry : environment_) {
        env.push_back(const_cast<char*>(entry.c_str()));
    }
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int err = ::posix_spawn(&pid, args[0], &actions, nullptr, args.data(), env.data());
    posix_spawn_file_actions_destroy(&actions);
    if (err != 0) {
        ADD_FAILURE() << "cannot start " << argv_[0] << ": " << std::strerror(err);
        return -1;
    }
    return pid;
}

ChildOutcome ChildProgram::Run() const {
    const auto start = std::chrono::steady_clock::now();
    const int pid = Spawn();
    return pid < 0 ? ChildOutcome{} : Wait(pid, start);
}

ChildOutcome ChildProgram::RunAndKill(std::chrono::nanoseconds after) const {
    const auto start = std::chrono::steady_clock::now();
    const int pid = Spawn();
    if (pid < 0) {
        return {};
    }
    std::this_thread::sleep_until(start + after);
    // A child that already ended is a zombie until it is waited for: the kill cannot reach
    // another process that took its number.
    ::kill(pid, SIGKILL);
    return Wait(pid, start);
}

std::vector<std::chrono::nanoseconds> KillMoments(std::chrono::nanoseconds duration, int count) {
    std::vector<std::chrono::nanoseconds> moments;
    const auto span = duration + duration / 5;
    for (int i = 0; i < count; ++i) {
        moments.push_back(count == 1 ? span / 2 : span * i / (count - 1));
    }
    return moments;
}

int KillPointCount(int fallback) {
    const char* value = std::getenv("QM_KILL_POINTS");
    const int points = value != nullptr ? std::atoi(value) : 0;
    return points > 0 ? points : fallback;
}

namespace {

// A run that went to its end: exit status 0, or 3 for an audit that found something to report.
bool Completed(const ChildOutcome& outcome) {
    return !outcome.Killed && (outcome.ExitStatus == 0 || outcome.ExitStatus == 3);
}

}  // namespace

void RunKillTrials(const ChildProgram& program, int points, const std::function<void()>& prepare,
                   const std::function<void(const KillTrial&)>& afterKill,
                   const std::function<void(const KillTrial&)>& afterRerun) {
    prepare();
    const ChildOutcome whole = program.Run();
    ASSERT_FALSE(whole.Killed);
    ASSERT_TRUE(Completed(whole)) << "an uninterrupted run fails: exit status " << whole.ExitStatus;
    int killed = 0;
    for (const auto moment : KillMoments(whole.Elapsed, points)) {
        SCOPED_TRACE("killed " + std::to_string(moment.count() / 1000) + " us after its start (a whole run takes " +
                     std::to_string(whole.Elapsed.count() / 1000) + " us)");
        prepare();
        KillTrial trial{moment, program.RunAndKill(moment)};
        killed += trial.Outcome.Killed;
        afterKill(trial);
        const ChildOutcome rerun = program.Run();
        EXPECT_TRUE(Completed(rerun)) << "the run after the kill fails: exit status " << rerun.ExitStatus;
        afterRerun(trial);
        if (::testing::Test::HasFailure()) {
            return;
        }
    }
    // Most moments fall inside the run; if none did, nothing was tested.
    EXPECT_GT(killed, 0);
}

std::map<std::string, std::string> FilesOf(const fs::path& folder) {
    std::map<std::string, std::string> files;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        if (entry.is_regular_file(ec) && !entry.is_symlink(ec)) {
            std::ifstream in(entry.path(), std::ios::binary);
            std::ostringstream bytes;
            bytes << in.rdbuf();
            files.emplace(entry.path().filename().string(), bytes.str());
        }
    }
    return files;
}

std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::vector<fs::path>& folders) {
    std::multiset<std::string> present;
    for (const fs::path& folder : folders) {
        for (auto& [name, bytes] : FilesOf(folder)) {
            present.insert(std::move(bytes));
        }
    }
    std::vector<std::string> lost;
    for (const auto& [name, bytes] : before) {
        if (present.count(bytes) == 0) {
            lost.push_back(name);
        }
    }
    return lost;
}

std::vector<fs::path> TemporaryFilesIn(const std::vector<fs::path>& folders) {
    std::vector<fs::path> found;
    for (const fs::path& folder : folders) {
        std::error_code ec;
        for (const auto& entry : fs::directory_iterator(folder, ec)) {
            if (IsTempFileName(entry.path().filename().string())) {
                found.push_back(entry.path());
            }
        }
    }
    return found;
}

std::string CacheDisagreement(const fs::path& cacheFile, const fs::path& romDir) {
    std::error_code ec;
    if (!fs::exists(fs::symlink_status(cacheFile, ec))) {
        return {};
    }
    // What the cache says, archive by archive.
    std::map<std::string, std::vector<std::string>> listed;
    const std::string bytes = ReadFileBytes(cacheFile);
    LineReader reader(bytes);
    std::size_t number = 0;
    for (std::string_view line; reader.Next(line);) {
        ++number;
        if (number == 1 && line != kCacheVersion) {
            return "line 1 is not the version";
        }
        if (number <= 2) {
            continue;
        }
        const auto fields = ParseCacheLine(line);
        if (!fields) {
            return "line " + std::to_string(number) + " is damaged";
        }
        listed[std::string(fields->Archive)].push_back(std::string(fields->Entry) + " " + std::string(fields->Crc));
    }
    if (number < 2) {
        return "no header";
    }
    // What the archives hold, as a scan would list and cache them.
    std::map<std::string, std::vector<std::string>> held;
    for (const std::string& name : ListFiles(romDir, "*.zip")) {
        if (SameText(name, "badroms.zip") || !IsCacheableArchiveName(name)) {
            continue;
        }
        TCrc32 list;
        list.FileName = (romDir / name).string();
        list.LookInZip = true;
        std::vector<std::string> entries;
        try {
            list.Build();
        } catch (const std::exception&) {
            continue;
        }
        bool cacheable = true;
        for (const TCrcItem& item : list.ItemList()) {
            cacheable = cacheable && IsCacheableEntryName(item.Name);
            entries.push_back(item.Name + " " + item.Crc);
        }
        if (cacheable && !entries.empty()) {
            held[name] = std::move(entries);
        }
    }
    // The lines of an archive need not come in the order of its entries: a change to an archive
    // puts its line first in the cache, while the archive adds the entry at its end.
    for (auto& [archive, entries] : listed) {
        std::sort(entries.begin(), entries.end());
    }
    for (auto& [archive, entries] : held) {
        std::sort(entries.begin(), entries.end());
    }
    std::string differences;
    for (const auto& [archive, entries] : listed) {
        const auto it = held.find(archive);
        if (it == held.end()) {
            differences += archive + " is listed but is no such archive; ";
        } else if (it->second != entries) {
            differences += archive + " is listed with other entries; ";
        }
    }
    for (const auto& [archive, entries] : held) {
        if (listed.count(archive) == 0) {
            differences += archive + " is missing; ";
        }
    }
    return differences;
}

}  // namespace qm::test
