#include "commands/Exports.h"

#include <exception>
#include <filesystem>
#include <system_error>

#include "commands/Session.h"
#include "platform/Job.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "platform/UserPrompts.h"

namespace qm {

namespace fs = std::filesystem;

namespace {}  // namespace

NeoGeoExportResult RunNeoGeoExport(TSession& session, const NeoGeoExportPlan& plan, const NeoGeoExportOptions& options,
                                   Job& job) {
    NeoGeoExportResult result;
    {
        CachesWritten written{session};
        result = ExportNeoGeoSets(session.DirCache, plan, options, job);
    }
    if (result.MovedCount() > 0 || (plan.DestinationIsRomDir && !result.Done.empty())) {
        RescanFromCaches(session, job);
    }
    return result;
}

bool OfferToCreateFolder(const std::string& dir, UserPrompts& prompts) {
    std::error_code ec;
    if (fs::exists(dir, ec)) {
        return true;
    }
    if (!prompts.Ask(MessageKind::Confirmation, "Directory " + dir + " not found.\nDo you want to create it ?")) {
        return false;
    }
    fs::create_directories(dir, ec);
    return true;
}

bool PrepareCdUpdateFolders(CdUpdateOptions& options, UserPrompts& prompts) {
    std::error_code ec;
    if (!fs::is_directory(options.SourceDir, ec)) {
        prompts.Show(MessageKind::Error, "Directory " + options.SourceDir + " not found.");
        return false;
    }
    if (!fs::is_directory(options.DestinationDir, ec)) {
        if (!OfferToCreateFolder(options.DestinationDir, prompts)) {
            return false;
        }
        if (!fs::is_directory(options.DestinationDir, ec)) {
            prompts.Show(MessageKind::Error, "Cannot create directory " + options.DestinationDir + ".");
            return false;
        }
    }
    // The source is only read: updating it in place would change the very medium it stands for.
    if (fs::equivalent(options.SourceDir, options.DestinationDir, ec)) {
        prompts.Show(MessageKind::Error,
                     "The directory to update and the directory for the updated files must differ.");
        return false;
    }
    if (IsReadOnlyMedium(options.DestinationDir)) {
        prompts.Show(MessageKind::Error, "Directory " + options.DestinationDir + " is write protected.");
        return false;
    }
    options.SourceDir = WithTrailingSlash(options.SourceDir);
    options.DestinationDir = WithTrailingSlash(options.DestinationDir);
    return true;
}

CdUpdateResult RunCdUpdate(TSession& session, const CdUpdateOptions& options, Job& job) {
    CdUpdateResult result;
    {
        CachesWritten written{session};
        result = UpdateCd(session.Paths, session.DirCache, session.Config.TempDir, options, job);
    }
    const bool changed = !result.Updated.empty() || !result.Created.empty();
    if (changed && session.Paths.PathOf(options.DestinationDir) != nullptr) {
        RescanFromCaches(session, job);
    }
    return result;
}

}  // namespace qm
