#include "commands/Profiles.h"

#include <unistd.h>

#include <cstring>
#include <system_error>

#include "commands/Session.h"
#include "config/DatafileImport.h"
#include "config/config.h"
#include "game_db/EmulatorProbes.h"
#include "game_db/cel_strings.h"
#include "platform/IniFile.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace fs = std::filesystem;

namespace {

// A datafile name leaves room for ".dat" and a temporary suffix within a file name's 255 bytes.
constexpr std::size_t kMaxProfileName = 200;

void CheckName(const std::string& name) {
    if (const auto problem = ProfileNameProblem(name)) {
        throw EProfileError(*problem);
    }
}

// What a replaced profile's header holds that the user set.
struct OldHeader {
    bool Exists = false;
    std::string RomPaths;
    std::string Exe;
};

OldHeader ReadOldHeader(const fs::path& datafile) {
    OldHeader old;
    std::error_code ec;
    if (!fs::is_regular_file(datafile, ec)) {
        return old;
    }
    const IniFile ini = IniFile::Parse(ReadDatafileHeaderBytes(datafile), "games");
    old.Exists = true;
    old.RomPaths = ini.Read("EMULATOR", "romspaths");
    old.Exe = ini.Read("EMULATOR", "exe");
    return old;
}

void EnsureDataDir(const TSession& session) {
    std::error_code ec;
    fs::create_directories(session.Config.DataDir, ec);
}

// Saves a built datafile as the profile, with what the replaced profile's header kept.
void SaveBuilt(TSession& session, TDatafile& datafile, ProfileOutcome& outcome, bool keepExe) {
    outcome.Datafile = session.Config.DatafilePath(outcome.Name);
    const OldHeader old = ReadOldHeader(outcome.Datafile);
    outcome.Replaced = old.Exists;
    if (!old.RomPaths.empty()) {
        datafile.RomsPaths = outcome.KeptRomPaths = old.RomPaths;
    }
    if (keepExe && !old.Exe.empty()) {
        datafile.Exe = outcome.KeptExe = old.Exe;
    }
    EnsureDataDir(session);
    datafile.SaveDatafile(outcome.Datafile);
}

void MakeCurrent(TSession& session, ProfileOutcome& outcome, Job& job) {
    outcome.Loaded =
        session.UseEmulator(outcome.Name, TSession::LoadOptions{.RememberAsCurrent = true, .Scan = false}, job);
}

void SetCredits(TDatafile& datafile, std::string comment) {
    datafile.Author = std::string("Quillmark ") + kProgramVersion;
    datafile.DatVersion = "1.0";
    datafile.Comment = std::move(comment);
}

}  // namespace

std::string ProfileNameOfListingFile(const fs::path& file) {
    std::string name = file.filename().string();
    for (const char* extension : {".gz", ".zip"}) {
        if (name.size() > 4 && EndsWithText(name, extension)) {
            name.resize(name.size() - std::string_view(extension).size());
        }
    }
    for (const char* extension : {".dat", ".xml"}) {
        if (name.size() > 4 && EndsWithText(name, extension)) {
            name.resize(name.size() - 4);
        }
    }
    return name;
}

std::string ProfileNameFromArgument(std::string_view argument) {
    if (argument.size() > 4 && EndsWithText(argument, ".dat")) {
        argument.remove_suffix(4);
    }
    return std::string(argument);
}

std::optional<std::string> ProfileNameProblem(std::string_view name) {
    const std::string shown = "profile name \"" + DisplayText(name) + "\"";
    if (name.empty()) {
        return std::string("a profile name cannot be empty");
    }
    if (name.find('\0') != std::string_view::npos) {
        return "the " + shown + " holds a NUL byte";
    }
    if (name.find('/') != std::string_view::npos) {
        return "the " + shown + " holds a '/': a profile is a file of the data directory";
    }
    if (name.find("..") != std::string_view::npos) {
        return "the " + shown + " holds \"..\"";
    }
    if (name.front() == '.') {
        return "the " + shown + " starts with '.' (a hidden file)";
    }
    try {
        CheckOneLineText("Profile name", name);  // the rule the settings file holds it to
    } catch (const EBadValue& e) {
        return std::string(e.what());
    }
    if (name.size() > kMaxProfileName) {
        return "the " + shown + " is longer than " + std::to_string(kMaxProfileName) + " bytes";
    }
    if (IsCacheFileName(std::string(name) + ".dat")) {
        return "the " + shown + " is the name of a directory cache file";
    }
    return std::nullopt;
}

namespace {

// The executable a probe and a build run: a bare name found in PATH, made absolute.
fs::path ResolveEmulator(ListingKind kind, const fs::path& exe) {
    std::error_code ec;
    const std::optional<fs::path> inPath = FindProgramInPath(exe.string());
    fs::path resolved = fs::absolute(inPath ? *inPath : exe, ec).lexically_normal();
    if (!fs::is_regular_file(resolved, ec)) {
        throw EProfileError(IncorrectExecutable(kind) + ": " + exe.string() +
                            " is not a file (nor a program found in PATH)");
    }
    return resolved;
}

}  // namespace

std::string IncorrectExecutable(ListingKind kind) {
    return std::string("Incorrect ") + (kind == ListingKind::Mame ? "mame" : "raine") + " executable";
}

std::string ProbeEmulator(TSession& session, ListingKind kind, const fs::path& exe, Job& job) {
    const fs::path resolved = ResolveEmulator(kind, exe);
    std::string version;
    const fs::path scratch = session.Config.TempDir;
    const bool known = kind == ListingKind::Mame ? GetMameVersion(resolved, version, scratch, job)
                                                 : GetRaineVersion(resolved, version, scratch, job);
    if (!known) {
        throw EProfileError(IncorrectExecutable(kind) + ": " + resolved.string() +
                            " gave no version when run with -help");
    }
    return version;
}

ProfileOutcome ImportEmulatorProfile(TSession& session, ListingKind kind, const fs::path& exe, const std::string& name,
                                     Job& job) {
    ProfileOutcome outcome;
    outcome.Name = name;
    CheckName(name);
    const fs::path resolved = ResolveEmulator(kind, exe);
    CheckOneLineText("Emulator executable", resolved.string());  // before the long build, not after
    const std::string version = ProbeEmulator(session, kind, resolved, job);
    TDatafile datafile;
    SetCredits(datafile, "Automatically generated file");
    datafile.EmulatorVersion = outcome.EmulatorVersion = CleanListingText(version);
    datafile.Build(kind, resolved, job);
    datafile.Exe = resolved.string();
    outcome.Counts = datafile.Counts();
    outcome.Source = resolved.string() + " " + datafile.ListingOption();
    SaveBuilt(session, datafile, outcome, /*keepExe=*/false);
    MakeCurrent(session, outcome, job);
    return outcome;
}

ProfileOutcome ImportDatProfile(TSession& session, const fs::path& file, const std::string& name,
                                const std::string& refName, Job& job) {
    ProfileOutcome outcome;
    outcome.Name = name;
    CheckName(name);
    CheckOneLineText("Emulator family", refName);
    TDatafile datafile;
    const ImportedListing imported = ImportListing(file, datafile, job);
    const ListingHeader& header = imported.Header;
    SetCredits(datafile, CleanListingText("Imported from " + file.filename().string()));
    if (!refName.empty()) {
        datafile.RefName = refName;
    } else if (header.FromMame || StartsWith(LowerCase(header.Name), "mame")) {
        datafile.RefName = "mame";
    }
    datafile.EmulatorVersion =
        !header.Description.empty() ? header.Description : Trim(header.Name + " " + header.Version);
    outcome.EmulatorVersion = datafile.EmulatorVersion;
    outcome.Counts = datafile.Counts();
    outcome.Source = file.string() + " (" + imported.Format + ")";
    SaveBuilt(session, datafile, outcome, /*keepExe=*/true);
    MakeCurrent(session, outcome, job);
    return outcome;
}

ProfileOutcome AddProfile(TSession& session, const fs::path& file, const std::string& name, Job& job) {
    ProfileOutcome outcome;
    outcome.Name = name;
    CheckName(name);
    std::error_code ec;
    if (!fs::is_regular_file(file, ec)) {
        throw EFileError(file, fs::exists(file, ec) ? "not a file" : "not found");
    }
    {
        // It must load before it becomes a profile.
        TGamesList games;
        const TGamesList::LoadResult loaded = games.LoadDatafileFile(file, job);
        if (loaded.BadFormat) {
            throw EProfileError(file.string() +
                                " is not a Quillmark datafile (it has no [GAMES] line); import-dat reads Logiqx XML "
                                "and clrmamepro text");
        }
        if (games.AllClones.empty()) {
            throw EProfileError(file.string() + " holds no game");
        }
        outcome.Counts.Games = games.AllClones.size();
        outcome.Counts.SkippedLines = loaded.SkippedLines;
    }
    outcome.Source = file.string();
    outcome.Datafile = session.Config.DatafilePath(name);
    const OldHeader old = ReadOldHeader(outcome.Datafile);
    outcome.Replaced = old.Exists;
    EnsureDataDir(session);
    // The copy gets the kept values before it takes the profile's name: the profile is the old
    // datafile or the whole new one, never something in between.
    const fs::path temp =
        fs::path(session.Config.DataDir) / ("." + name + ".dat." + std::to_string(::getpid()) + ".adding");
    if (const int err = CopyFileReplacing(file, temp)) {
        throw EFileError(temp, std::string("cannot write: ") + std::strerror(err));
    }
    try {
        if (!old.RomPaths.empty()) {
            session.Config.WriteDatafileValue(temp, "EMULATOR", old.RomPaths, "romspaths");
            outcome.KeptRomPaths = old.RomPaths;
        }
        if (!old.Exe.empty()) {
            session.Config.WriteDatafileValue(temp, "EMULATOR", old.Exe, "Exe");
            outcome.KeptExe = old.Exe;
        }
        if (::rename(temp.c_str(), outcome.Datafile.c_str()) != 0) {
            throw EFileError(outcome.Datafile, std::string("cannot replace: ") + std::strerror(errno));
        }
    } catch (const EBadDataFile&) {
        fs::remove(temp, ec);
        throw EProfileError(file.string() + " has no [EMULATOR] section to keep the ROM directories in");
    } catch (...) {
        fs::remove(temp, ec);
        throw;
    }
    SyncDirectory(session.Config.DataDir);
    MakeCurrent(session, outcome, job);
    return outcome;
}

bool RemoveProfile(TSession& session, const std::string& name) {
    CheckName(name);
    const fs::path datafile = session.Config.DatafilePath(name);
    std::error_code ec;
    if (!fs::exists(datafile, ec)) {
        throw EProfileError("no profile \"" + DisplayText(name) + "\" in " + DisplayText(session.Config.DataDir));
    }
    if (!session.Prompts().Ask(MessageKind::Confirmation, "Remove profile " + name + " ? Its datafile " +
                                                              datafile.string() + " goes to the Trash.")) {
        return false;
    }
    std::string error;
    if (!MoveToTrash(datafile, &error)) {
        throw EProfileError(error);
    }
    return true;
}

}  // namespace qm
