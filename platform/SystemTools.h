// Operating-system primitives shared by every floor: file attributes, read-only media, a
// flushed copy, the freedesktop.org Trash and processes started without a shell.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace qm {

// File attribute bits as the tools test them (the low 16 bits of an attribute mask).
enum FileAttribute : unsigned {
    faReadOnly = 0x01,
    faHidden = 0x02,
    faDirectory = 0x10,
    faArchive = 0x20,
};

// True when every bit of the low 16 bits of `attributes` is set on the file; a file that does
// not exist has no attributes. Read-only = no owner-write bit; hidden = name starts with '.'.
bool FileHasAttr(const std::filesystem::path& fileName, unsigned attributes);

// False when `directory` is not a directory; true when its file system is mounted read-only or
// this process may not write into it. The environment variable QUILLMARK_TEST_READONLY_DIRS
// (directories separated by ':') declares directories read-only as well: tests run as root,
// which writes anywhere, and use it to stand for read-only media.
// Gives the file its owner's write permission (the read-only attribute cleared): true when it
// had it or got it, false when the file does not exist or the change failed.
bool MakeWritable(const std::filesystem::path& path);
bool IsReadOnlyMedium(const std::filesystem::path& directory);

// Copies `source` over `target` through a flushed temporary file in the target's folder, so
// that the target is either the old file or the whole copy. 0, or the errno of the failure.
int CopyFileReplacing(const std::filesystem::path& source, const std::filesystem::path& target);

inline constexpr int kProcessNotWaited = -10000;

// Runs argv[0] (looked up in PATH) with the arguments, without a shell, in the caller's
// environment and current directory, its standard input from /dev/null and, when stdoutFile is
// given, its standard output written to that file. With `wait`, gives the exit code (128 + the
// signal number for a process killed by a signal); gives kProcessNotWaited when the process did
// not start or `wait` is false.
int RunProcess(const std::vector<std::string>& argv, bool wait, const std::filesystem::path& stdoutFile = {});

// Runs argv as RunProcess does and waits for its end, handing its standard output to `onOutput`
// piece by piece while it is written: an output of any size is read through a pipe, never stored.
// `onOutput` also gets an empty piece whenever nothing came for a fifth of a second, so that it
// can poll a cancel request; when it returns false, or throws, the process is killed and waited
// for. The last few kilobytes of the process's standard error go to *errorTail. Gives the exit
// code (128 + the signal number for a process killed by a signal, ours included), or
// kProcessNotWaited when it did not start. With `workingDirectory`, the child starts there (this
// process keeps its own current directory); a directory it cannot enter means it does not start.
int RunProcessReading(const std::vector<std::string>& argv, const std::function<bool(std::string_view)>& onOutput,
                      std::string* errorTail = nullptr, const std::filesystem::path& workingDirectory = {});

// Moves a file or folder to the freedesktop.org Trash ($XDG_DATA_HOME/Trash, or the
// .Trash-UID folder at the top of the file system that holds it) under a name not used there
// yet, with its .trashinfo record. False, with the reason in *error, when it could not be done;
// the file then stays where it was.
bool MoveToTrash(const std::filesystem::path& file, std::string* error = nullptr);
// A new file of the home Trash that stands for `original` (removed in pieces, for example
// entries taken out of an archive): its .trashinfo record is written, and the path it gives is
// free for the caller to create. Empty, with the reason in *error, when there is none.
std::filesystem::path ReserveInTrash(const std::filesystem::path& original, std::string* error = nullptr);

}  // namespace qm
