// The file tools of the engine and the programs: attributes, read-only media, a move that falls
// back to copy and delete, and processes, over the operating-system primitives of platform/.
#pragma once

#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "platform/SystemTools.h"

namespace qm {

// Raised by MoveFileOrCopy; the message says which step failed.
class EFCantMove : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Moves a file: a rename, or, across file systems, a copy that is complete and flushed before
// the source is deleted. An existing destination is replaced. Throws EFCantMove with "Can't
// move file. (readonly)" (a read-only source that cannot be renamed), "Can't copy file. (...)"
// (the source stays) or "Can't delete original. (...)" (both copies stay).
void MoveFileOrCopy(const std::filesystem::path& source, const std::filesystem::path& destination);

// Whether anything (a dangling symlink included) has that name: nothing is ever written over it.
bool PathExists(const std::filesystem::path& path);

// A name the zip component can add as it stands: it stores a file under its bare name.
bool IsBareFileName(std::string_view name);

// A folder of its own below the scratch folder ("<prefix>-XXXXXX") for the members an operation
// extracts, removed with everything in it at the end. It is locked (flock) while it lives, so that
// the folders a killed run left behind can be told from those of a run still going: each new one
// first removes the unlocked folders of its prefix.
// Removes the work folders of that prefix that no live run holds.
void RemoveStaleWorkFolders(const std::filesystem::path& scratch, std::string_view prefix);

class WorkFolder {
public:
    WorkFolder(const std::filesystem::path& scratch, std::string_view prefix);
    ~WorkFolder();
    WorkFolder(const WorkFolder&) = delete;
    WorkFolder& operator=(const WorkFolder&) = delete;

    const std::filesystem::path& Path() const { return path_; }
    // Removes everything in the folder, keeping the folder.
    void Empty() const;

private:
    std::filesystem::path path_;
    int lock_ = -1;
};

inline constexpr int kExecNotWaited = kProcessNotWaited;

// Runs argv[0] (looked up in PATH) with the arguments, without a shell, in the caller's
// environment and current directory, its standard input from /dev/null and, when stdoutFile is
// given, its standard output written to that file. With `wait`, gives the exit code (128 + the
// signal number for a process killed by a signal); gives kExecNotWaited when the process did not
// start or `wait` is false. `minimized` asks for a minimized window, which only a desktop
// session could honour; it is accepted and ignored.
int ExecAndWait(const std::vector<std::string>& argv, bool wait, bool minimized,
                const std::filesystem::path& stdoutFile = {});

}  // namespace qm
