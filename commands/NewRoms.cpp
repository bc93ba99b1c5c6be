#include "commands/NewRoms.h"

#include <exception>

#include "commands/Session.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/Text.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace fs = std::filesystem;

std::vector<std::string> DroppedZipFiles(const std::vector<std::string>& dropped) {
    std::vector<std::string> zips;
    for (const std::string& path : dropped) {
        std::error_code ec;
        if (fs::is_directory(path, ec)) {
            continue;
        }
        const std::size_t dot = path.find_last_of('.');
        if (dot != std::string::npos && LowerCase(std::string_view(path).substr(dot)) == ".zip") {
            zips.push_back(path);
        }
    }
    return zips;
}

void ExamineDroppedFiles(TSession& session, TSrcRomList& sources, const std::vector<std::string>& files, Job& job) {
    SourceReadOptions options;
    options.SizeHeader = session.Config.SnesMode;
    options.FixedHeader16 = session.Config.NesMode;
    options.TempPath = session.Config.TempDir;
    sources.Clear();
    sources.LoadSourceRoms(files, session.Games, options, job);
    sources.KeepNewRoms(session.Games);
    job.Status("");
}

fs::path SaveSourceReport(const TSession& session, const TSrcRomList& sources) {
    if (sources.Report.empty()) {
        return {};
    }
    fs::path file = fs::path(session.Config.TempDir) / std::string(kSourceReportName);
    WriteLinesAtomic(file, sources.Report);
    return file;
}

std::string MergeQuestion(const TSession& session) {
    return "The new roms will now be copied in the " + session.Config.RefName + " rom directory";
}

std::string DisplacedLine(const MergeDisplaced& displaced) {
    return "Kept " + displaced.Archive + ": " + displaced.From + " renamed " + displaced.To +
           " (another rom of that name)";
}

NewRomsMerge MergeDroppedRoms(TSession& session, TSrcRomList& sources, Job& job) {
    NewRomsMerge merge;
    if (sources.NewRoms().empty()) {
        session.Prompts().Show(MessageKind::Information, std::string(kNothingToMerge));
        merge.NothingToMerge = true;
        return merge;
    }
    if (!session.Prompts().Ask(MessageKind::Confirmation, MergeQuestion(session))) {
        merge.Declined = true;
        return merge;
    }
    merge.Outcome = MergeConfirmedRoms(session, sources, job);
    return merge;
}

MergeOutcome MergeConfirmedRoms(TSession& session, TSrcRomList& sources, Job& job) {
    MergeOutcome outcome;
    std::exception_ptr error;
    try {
        CachesWritten written{session};
        // Every dropped ROM, not only the new ones: a ROM the collection holds in one set's archive
        // may still be missing from another set's, where the emulator looks for it. The merge
        // writes nothing where the archive holds the ROM under its name already.
        outcome = MergeNewRoms(session.Paths, sources.AllRoms(), session.Config.TempDir, job);
    } catch (...) {
        error = std::current_exception();
    }
    RescanFromCaches(session, job);
    sources.KeepNewRoms(session.Games);
    if (error) {
        std::rethrow_exception(error);
    }
    return outcome;
}

}  // namespace qm
