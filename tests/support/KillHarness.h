// Kill tests: a program runs in a child process and is killed (SIGKILL, as a crash or a power
// cut would stop it) at chosen moments of its run; the test then checks what it left on disk,
// runs the program again to its end and checks once more. The moments are spread over the time
// an uninterrupted run takes, so that some land in every step of it. The checks that every such
// test needs are here too: no file lost, no cache that lies, no temporary file left behind.
#pragma once

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace qm::test {

namespace fs = std::filesystem;

struct ChildOutcome {
    bool Killed = false;  // ended by the kill, not by itself
    int ExitStatus = -1;  // when it ended by itself
    std::chrono::nanoseconds Elapsed{};
};

class ChildProgram {
public:
    // argv[0] is the program's path. The child gets the test's environment with `env` added,
    // its standard input from /dev/null and its output thrown away.
    explicit ChildProgram(std::vector<std::string> argv,
                          const std::vector<std::pair<std::string, std::string>>& env = {});

    // Runs the program to its end.
    ChildOutcome Run() const;
    // Runs the program and kills it `after` its start, unless it ended before.
    ChildOutcome RunAndKill(std::chrono::nanoseconds after) const;

private:
    int Spawn() const;

    std::vector<std::string> argv_;
    std::vector<std::string> environment_;
};

#ifdef QM_CLI_PATH
// quillmark-cli as the program of a kill test: this build's, or $QM_CLI_UNDER_TEST (to try another
// build), without the restart that tunes its heap.
inline ChildProgram CliUnderTest(const std::vector<std::string>& args) {
    const char* other = std::getenv("QM_CLI_UNDER_TEST");
    std::vector<std::string> argv = {other != nullptr ? other : QM_CLI_PATH};
    argv.insert(argv.end(), args.begin(), args.end());
    return ChildProgram(argv, {{"QUILLMARK_NO_HEAP_TUNING", "1"}});
}
#endif

// `count` moments evenly spread from the start to a little past `duration`.
std::vector<std::chrono::nanoseconds> KillMoments(std::chrono::nanoseconds duration, int count);
// How many kill points a test runs: $QM_KILL_POINTS when set (the full runs of scripts/killtest),
// else `fallback` (the reduced form run by CI).
int KillPointCount(int fallback);

// For every kill moment: prepare() sets the scene, the program is killed at that moment,
// afterKill() checks what it left, the program runs again to its end, afterRerun() checks the
// result. The moments are spread over the duration of one run from a prepared scene.
struct KillTrial {
    std::chrono::nanoseconds Moment{};
    ChildOutcome Outcome;
};
void RunKillTrials(const ChildProgram& program, int points, const std::function<void()>& prepare,
                   const std::function<void(const KillTrial&)>& afterKill,
                   const std::function<void(const KillTrial&)>& afterRerun);

// The regular files of a folder (not its subfolders), name -> bytes.
std::map<std::string, std::string> FilesOf(const fs::path& folder);
// The names of `before` whose bytes are found in none of `folders` under any name: a file moved
// or renamed is not lost, a file changed or removed is.
std::vector<std::string> LostFiles(const std::map<std::string, std::string>& before,
                                   const std::vector<fs::path>& folders);
// Quillmark's temporary files ("*.qmtmp-XXXXXX") in the folders.
std::vector<fs::path> TemporaryFilesIn(const std::vector<fs::path>& folders);
// How the cache file of a ROM directory disagrees with its archives (each archive the scan can
// cache listed with exactly its entries, in any order, nothing else listed), or empty when it
// does not. A missing cache file agrees with anything.
std::string CacheDisagreement(const fs::path& cacheFile, const fs::path& romDir);

}  // namespace qm::test
