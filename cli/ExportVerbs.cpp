// quillmark-cli export-neogeo and update-cd: the Neo-Geo sets' archives moved or copied to another
// folder, and the updated copy of a ROM CD.
#include <filesystem>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Exports.h"
#include "platform/Platform.h"

namespace qm {

namespace {

// How a reason to leave an archive out is written: as a JSON key, and for a reader.
struct SkipWords {
    const char* Key;
    const char* Text;
};
SkipWords Words(ExportSkip why) {
    switch (why) {
        case ExportSkip::IsTheTarget:
            return {"is_destination", "it is the archive at the destination"};
        case ExportSkip::NotWorking:
            return {"not_complete", "its set is not complete"};
        case ExportSkip::AlreadyThere:
            return {"exists", "the destination holds an archive of that name"};
    }
    return {"", ""};
}

int PrintExport(CliContext& ctx, const NeoGeoExportPlan& plan, const NeoGeoExportResult& result) {
    const int status = !result.Failure.empty() ? kExitFailure : result.Cancelled ? kExitCancelled : kExitOk;
    if (ctx.Json()) {
        std::vector<std::string> moved;
        std::vector<std::string> copied;
        for (const NeoGeoExported& done : result.Done) {
            (done.Moved ? moved : copied).push_back(done.Item.Source);
        }
        std::vector<std::string> skipped;
        for (const NeoGeoExportSkipped& skip : plan.Skipped) {
            skipped.push_back(JsonObject()
                                  .Add("archive", skip.Archive)
                                  .Add("source", skip.Source)
                                  .Add("reason", Words(skip.Why).Key)
                                  .Text());
        }
        JsonObject json;
        json.Add("destination", plan.Destination)
            .Add("moved", moved)
            .Add("copied", copied)
            .AddRaw("skipped", JsonArray(skipped))
            .Add("cancelled", result.Cancelled);
        if (plan.Items.empty()) {
            json.Add("message", kNothingToCopy);
        }
        if (!result.Failure.empty()) {
            json.AddRaw("error", JsonObject().Add("message", result.Failure).AddRaw("file", "null").Text());
        }
        ctx.PrintJson(json);
        return status;
    }
    std::ostream& out = ctx.Out();
    for (const NeoGeoExported& done : result.Done) {
        out << (done.Moved ? "moved " : "copied ") << DisplayText(done.Item.Source)
            << (!done.Moved && done.Item.SourceReadOnly ? " (read-only medium: not moved)" : "") << "\n";
    }
    for (const NeoGeoExportSkipped& skip : plan.Skipped) {
        out << "skipped " << DisplayText(skip.Source) << ": " << Words(skip.Why).Text << "\n";
    }
    if (plan.Items.empty()) {
        out << kNothingToCopy << "\n";
        return status;
    }
    if (result.Cancelled) {
        out << "Cancelled\n";
    }
    out << "Exported to " << DisplayText(plan.Destination) << ": " << result.MovedCount() << " moved, "
        << result.CopiedCount() << " copied, " << plan.Skipped.size() << " skipped\n";
    if (!result.Failure.empty()) {
        ctx.Err() << "quillmark-cli: " << DisplayText(result.Failure) << "\n";
    }
    return status;
}

}  // namespace

int VerbExportNeoGeo(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (args.Positional.size() != 1) {
        return ctx.Usage("needs one destination folder DEST");
    }
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    if (session.Config.RefName != "mame") {
        return ctx.Fail("the Neo-Geo export needs a MAME profile (refname mame); " + session.Config.CurrentEmulator +
                        " is not one");
    }

    NeoGeoExportOptions options;
    options.Destination = AbsoluteFolder(args.Positional[0]);
    options.Move = !args.Has("copy");
    options.ReplaceExisting = !args.Has("no-replace");
    options.OnlyWorkingSets = args.Has("working");
    OfferToCreateFolder(options.Destination, ctx.Prompts());
    if (const std::string warning = CheckExportDestination(options.Destination); !warning.empty()) {
        return ctx.Fail(options.Destination + ": " + warning);
    }

    const NeoGeoExportPlan plan = PlanNeoGeoExport(session.Paths, options);
    if (plan.Items.empty()) {
        return PrintExport(ctx, plan, NeoGeoExportResult{});
    }
    // Moving takes archives out of their folders: the command-line's stand-in for the dialog's OK.
    if (options.Move &&
        !ctx.Prompts().Ask(MessageKind::Confirmation, "Move " + std::to_string(plan.Items.size()) +
                                                          " Neo-Geo archives to " + plan.Destination + " ?")) {
        return ctx.Fail("nothing was moved: give --yes to confirm the move");
    }
    NeoGeoExportResult result;
    { result = RunNeoGeoExport(session, plan, options, ctx.Job()); }
    return PrintExport(ctx, plan, result);
}

int VerbUpdateCd(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (args.Positional.size() != 2) {
        return ctx.Usage("needs the folders SRC and DEST");
    }
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();

    CdUpdateOptions options;
    options.SourceDir = AbsoluteFolder(args.Positional[0]);
    options.DestinationDir = AbsoluteFolder(args.Positional[1]);
    options.CreateFiles = args.Has("create");
    options.ShowDelete = args.Has("show-delete");
    if (!PrepareCdUpdateFolders(options, ctx.Prompts())) {
        return kExitFailure;
    }
    CdUpdateResult result;
    { result = RunCdUpdate(session, options, ctx.Job()); }
    const int status = result.Cancelled ? kExitCancelled : kExitOk;
    auto archivesJson = [](const std::vector<CdUpdatedArchive>& archives) {
        std::vector<std::string> items;
        items.reserve(archives.size());
        for (const CdUpdatedArchive& a : archives) {
            items.push_back(JsonObject().Add("source", a.Source).Add("target", a.Target).Add("added", a.Added).Text());
        }
        return JsonArray(items);
    };
    if (ctx.Json()) {
        JsonObject json;
        json.Add("source", options.SourceDir)
            .Add("destination", options.DestinationDir)
            .Add("processed", result.Processed)
            .AddRaw("updated", archivesJson(result.Updated))
            .AddRaw("created", archivesJson(result.Created))
            .Add("files_updated", result.Updated.size())
            .Add("cancelled", result.Cancelled)
            .Add("problems", result.Problems);
        if (options.ShowDelete) {
            json.Add("to_delete", result.ToDelete);
        }
        ctx.PrintJson(json);
        return status;
    }
    std::ostream& out = ctx.Out();
    auto print = [&](const char* verb, const CdUpdatedArchive& a) {
        out << verb << " " << DisplayText(a.Target);
        if (!a.Source.empty()) {
            out << " from " << DisplayText(a.Source);
        }
        if (!a.Added.empty()) {
            out << ", added:";
            for (const std::string& rom : a.Added) {
                out << " " << DisplayText(rom);
            }
        }
        out << "\n";
    };
    for (const CdUpdatedArchive& a : result.Updated) {
        print("updated", a);
    }
    for (const CdUpdatedArchive& a : result.Created) {
        print("created", a);
    }
    for (const std::string& file : result.ToDelete) {
        out << "to delete " << DisplayText(file) << "\n";
    }
    if (result.Cancelled) {
        out << kCdUpdateCancelled << "\n";
    }
    out << FilesUpdatedMessage(result.Updated.size()) << "\n";
    if (options.CreateFiles) {
        out << result.Created.size() << " files created.\n";
    }
    return status;
}

}  // namespace qm
