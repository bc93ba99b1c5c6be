// Temporary files written beside the file they will replace ("NAME.qmtmp-XXXXXX"), and the
// removal of those a killed run left behind. A writer holds an advisory lock (flock) on its
// temporary file for as long as the file lives, so whether that lock can be taken tells a
// leftover from a file another process is still writing: a stale file is one no live process
// holds. Nothing else in a folder is ever removed as a leftover.
#pragma once

#include <filesystem>
#include <string_view>
#include <vector>

namespace qm {

inline constexpr std::string_view kTempMarker = ".qmtmp-";

// True for the names CreateTempBeside makes: any name, ".qmtmp-", six letters or digits.
bool IsTempFileName(std::string_view name);

// True for the names libzip gives the new archive it writes before it renames it over the old
// one ("NAME.zip" followed by '.' and six letters or digits): a run killed while it wrote leaves
// one. libzip takes no lock on it; only a process that holds the folder's lock (DirectoryLock.h),
// so that no other Quillmark run can be writing there, may take one for stale.
bool IsZipWriterLeftover(std::string_view name);

// Creates a new temporary file beside `target` (its name followed by ".qmtmp-" and six
// characters, mode 0600) and locks it. Gives the open descriptor and sets `tempPath`, or -1
// with errno set.
int CreateTempBeside(const std::filesystem::path& target, std::filesystem::path& tempPath);

// Removes the temporary files named `names` in `dir` that no live process holds, and gives
// the paths removed. Only regular files with a temporary file's name (or libzip's, see above)
// go; anything that cannot be examined or locked stays.
std::vector<std::filesystem::path> RemoveStaleTempFiles(const std::filesystem::path& dir,
                                                        const std::vector<std::string>& names);
// The same for every temporary file of `dir`.
std::vector<std::filesystem::path> RemoveStaleTempFiles(const std::filesystem::path& dir);

}  // namespace qm
