// Profiles made, replaced and removed: from an emulator's own game listing, from a datafile
// downloaded from the world, or from a datafile already in Quillmark's format. Each is saved as
// NAME.dat in the data directory (written whole, then renamed: never half a datafile) and made
// the current profile.
//
// A profile that replaces one of the same name keeps the old header's ROM directories, and its
// emulator executable unless the new profile comes from an executable: they are the user's
// settings, not the listing's.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "config/DataFile.h"

namespace qm {

class Job;
class TSession;

// A profile that cannot be made or removed; the message says why.
class EProfileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

struct ProfileOutcome {
    std::string Name;
    std::filesystem::path Datafile;
    std::string Source;  // what was read: "EXE -listxml", "Logiqx XML", ...
    std::string EmulatorVersion;
    ListingCounts Counts;      // records read and skipped (imports)
    bool Replaced = false;     // a profile of that name existed
    std::string KeptRomPaths;  // taken over from the replaced profile
    std::string KeptExe;
    bool Loaded = false;  // made current and loaded; the session holds it
};

// The profile name without a ".dat" that was typed along. Why a name cannot name a profile
// (a '/', "..", a NUL or another control character, a leading '.', the name of a directory
// cache, more than 200 bytes), or nullopt.
std::string ProfileNameFromArgument(std::string_view argument);
std::optional<std::string> ProfileNameProblem(std::string_view name);

// The profile name a downloaded datafile suggests: its file name without ".gz" or ".zip" and then
// without ".dat" or ".xml" ("MAME 0.251.dat.gz" gives "MAME 0.251").
std::string ProfileNameOfListingFile(const std::filesystem::path& file);

// "Incorrect mame executable" or "Incorrect raine executable".
std::string IncorrectExecutable(ListingKind kind);
// The version text `exe` gives to the probe of its family (a bare name is looked up in PATH).
// Throws EProfileError ("Incorrect mame executable: ...") when it is no file or gives none.
std::string ProbeEmulator(TSession& session, ListingKind kind, const std::filesystem::path& exe, Job& job);

// Probes `exe` (a bare name is looked up in PATH), builds the datafile from its listing, saves it
// and makes it current. Throws EProfileError ("Incorrect mame executable", ...), EListingError,
// EFileError, ECancelClick.
ProfileOutcome ImportEmulatorProfile(TSession& session, ListingKind kind, const std::filesystem::path& exe,
                                     const std::string& name, Job& job);
// Reads a Logiqx XML or clrmamepro datafile (plain, gzip or zip). refName empty: "mame" for a
// MAME listing, else none.
ProfileOutcome ImportDatProfile(TSession& session, const std::filesystem::path& file, const std::string& name,
                                const std::string& refName, Job& job);
// Copies a datafile in Quillmark's format, once it loads, into the data directory.
ProfileOutcome AddProfile(TSession& session, const std::filesystem::path& file, const std::string& name, Job& job);
// Moves the profile's datafile to the Trash after asking; false when the user said No.
bool RemoveProfile(TSession& session, const std::string& name);

}  // namespace qm
