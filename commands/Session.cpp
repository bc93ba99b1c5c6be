#include "commands/Session.h"

#include <exception>

#include "engine/FilesTools.h"
#include "engine/Merge.h"
#include "game_db/cel_strings.h"
#include "platform/DirectoryLock.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/TempFiles.h"
#include "platform/UserPrompts.h"

namespace qm {

TSession::TSession(const ConfigPaths& paths, UserPrompts& prompts)
    : Config(paths, prompts),
      SubList(Games),
      DirCache(paths.DataDir),
      Paths(Games, DirCache, paths.DataDir),
      DiskAccess(DirCache, paths.TempDir),
      prompts_(prompts) {
    Games.SplitMode = Config.SplitMode;
    Games.BaseDir = WithTrailingSlash(paths.BaseDir.string());
    // Half-written datafiles, settings and reports of a run that was killed; a live run holds
    // its own. (ROM directories are seen to by their scan, move folders by the command using them.)
    RemoveStaleTempFiles(paths.DataDir);
    RemoveStaleTempFiles(paths.TempDir);
    RemoveStaleWorkFolders(paths.TempDir, kMergeWorkFolder);
    RemoveStaleTempFiles(paths.SettingsFile.parent_path());
}

void TSession::ClearAll() {
    Paths.Reset(false);
    SubList.Clear();
    Games.Clear();
    SubList.SetCount = SubList.CloneCount = SubList.RomCount = 0;
    SkippedDatafileLines = 0;
}

bool TSession::UseEmulator(const std::string& name, const LoadOptions& options, Job& job) {
    ClearAll();
    // Stopped or failed half-way, the session holds no half-loaded profile.
    struct ClearUnlessDone {
        TSession& session;
        bool done = false;
        ~ClearUnlessDone() {
            if (!done) {
                session.ClearAll();
            }
        }
    } clearUnlessDone{*this};
    std::error_code ec;
    // A datafile that exists but is no regular file (a FIFO, say) gets the reader's error
    // naming it, not "does not exist".
    if (name.empty() || !std::filesystem::exists(Config.DatafilePath(name), ec)) {
        prompts_.Show(MessageKind::Error,
                      "Datafile " + name + ".dat does not exist in directory " + Config.DataDir + " !");
        return false;
    }
    try {
        Config.LoadEmulator(name, options.RememberAsCurrent);
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, "Error while loading datafile " + name + ".dat\n" + e.what());
        ClearAll();
        return false;
    }
    Paths.SnesMode = Config.SnesMode;
    Paths.NesMode = Config.NesMode;
    Paths.SplitMode = Config.SplitMode;
    Games.SplitMode = Config.SplitMode;
    Games.EmulatorDir = Config.ExeDir;
    Games.EmulatorExe = Config.Exe;
    TGamesList::LoadResult loaded;
    try {
        loaded = Games.LoadDatafileFile(Config.DatafilePath(name), job);
    } catch (const ECancelClick&) {
        throw;
    } catch (const std::exception& e) {
        prompts_.Show(MessageKind::Error, e.what());
        ClearAll();
        return false;
    }
    if (loaded.BadFormat) {
        prompts_.Show(MessageKind::Error, "File " + name + ".dat has bad format.");
        return false;
    }
    SkippedDatafileLines = loaded.SkippedLines;
    SubList.OnlyNeoGeo = false;
    SubList.WithoutNeoGeo = false;
    SubList.Rebuild(job);
    for (const std::string& dir : Config.RomPaths) {
        Paths.AddPath(dir);
    }
    if (options.Scan) {
        try {
            Paths.Scan(false, job);
        } catch (const ELockBusy& e) {
            // Another run is changing the collection: its picture now would soon be wrong.
            prompts_.Show(MessageKind::Error, e.what());
            ClearAll();
            return false;
        }
    }
    clearUnlessDone.done = true;
    return true;
}

bool IsCacheFileName(const std::string& fileName) {
    const std::string lower = LowerCase(fileName);
    if (!lower.starts_with("quillmark") || !lower.ends_with(".dat")) {
        return false;
    }
    const std::string_view middle = std::string_view(lower).substr(9, lower.size() - 13);
    for (const char c : middle) {
        if (c < '0' || c > '9') {
            return false;
        }
    }
    return true;
}

std::vector<std::string> TSession::Profiles() const {
    std::vector<std::string> names;
    for (const std::string& file : ListFiles(Config.DataDir, "*.dat")) {
        if (!IsCacheFileName(file)) {
            names.push_back(file.substr(0, file.size() - 4));
        }
    }
    return names;
}

CachesWritten::~CachesWritten() {
    try {
        session.DirCache.Reset();
    } catch (const std::exception&) {
    }
    session.DirCache.ReleaseLocks();
}

void RescanFromCaches(TSession& session, Job& job) {
    struct Rescanning : UncancellableJob {
        using UncancellableJob::UncancellableJob;
        void Problem(std::string_view) override {}
    } rescanning(job);
    session.Paths.Reset(true);
    session.Paths.Scan(false, rescanning);
}

}  // namespace qm
