// quillmark-cli examine and merge: zip files from anywhere looked at against the collection, and
// the ROMs the collection lacks copied into it.
#include <ostream>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/NewRoms.h"
#include "engine/ContentTree.h"
#include "platform/Platform.h"

namespace qm {

namespace {

// The state word of a node of the content tree: how much of what is below it the dropped files
// hold (none, some, all), "new" in the tree of new ROMs, "-nodump" for a no-good-dump ROM below.
std::string StateWord(int image) {
    switch (image) {
        case 0:
            return "none";
        case 1:
            return "some";
        case 2:
            return "all";
        case 3:
            return "none-nodump";
        case 4:
            return "some-nodump";
        case 5:
            return "all-nodump";
        case kNewNoGoodDumpImage:
            return "new-nodump";
        default:
            return "new";
    }
}

void PrintTree(std::ostream& out, const ContentTree& nodes, int depth) {
    for (const ContentNode& node : nodes) {
        out << std::string(static_cast<std::size_t>(depth) * 2, ' ') << DisplayText(node.Text) << "  ["
            << StateWord(node.Image) << "]\n";
        PrintTree(out, node.Children, depth + 1);
    }
}

std::string TreeJson(const ContentTree& nodes) {
    std::vector<std::string> items;
    for (const ContentNode& node : nodes) {
        items.push_back(JsonObject()
                            .Add("text", node.Text)
                            .Add("state", StateWord(node.Image))
                            .AddRaw("children", TreeJson(node.Children))
                            .Text());
    }
    return JsonArray(items);
}

// Loads the profile with its collection scanned, then examines the zip files among the arguments.
// False, with `status` set, when it could not.
bool Examine(CliContext& ctx, TSrcRomList& sources, int& status) {
    const std::vector<std::string> files = DroppedZipFiles(ctx.Args().Positional);
    if (files.empty()) {
        status = ctx.Usage("needs zip files (FILE.zip)");
        return false;
    }
    if (!ctx.LoadProfile(/*scan=*/true)) {
        status = kExitFailure;
        return false;
    }
    ExamineDroppedFiles(ctx.Session(), sources, files, ctx.Job());
    return true;
}

}  // namespace

int VerbExamine(CliContext& ctx) {
    TSrcRomList sources;
    int status = kExitOk;
    if (!Examine(ctx, sources, status)) {
        return status;
    }
    TSession& session = ctx.Session();
    const bool onlyNew = ctx.Args().Has("new");
    const ContentTree tree = onlyNew ? FillNewContentTree(session.Games, sources, ctx.Job())
                                     : FillContentTree(session.Games, sources, ctx.Job());
    const std::filesystem::path reportFile = SaveSourceReport(session, sources);
    if (ctx.Json()) {
        JsonObject json;
        json.Add("report", sources.Report)
            .Add("report_file", reportFile.string())
            .Add("source_roms", sources.Count())
            .Add("new_roms", sources.NewRoms().size())
            .Add("filter", onlyNew ? "new" : "all")
            .AddRaw("tree", TreeJson(tree));
        ctx.PrintJson(json);
        return kExitOk;
    }
    std::ostream& out = ctx.Out();
    for (const std::string& line : sources.Report) {
        out << DisplayText(line) << "\n";
    }
    if (!reportFile.empty()) {
        out << "Report saved as " << DisplayText(reportFile.string()) << "\n";
    }
    out << "\nZip content (" << (onlyNew ? "New" : "All") << "): " << sources.Count() << " roms found, "
        << sources.NewRoms().size() << " new\n";
    PrintTree(out, tree, 0);
    return kExitOk;
}

int VerbMerge(CliContext& ctx) {
    TSrcRomList sources;
    int status = kExitOk;
    if (!Examine(ctx, sources, status)) {
        return status;
    }
    TSession& session = ctx.Session();
    const NewRomsMerge merge = MergeDroppedRoms(session, sources, ctx.Job());
    if (merge.Declined) {
        return kExitFailure;
    }
    const MergeOutcome& outcome = merge.Outcome;
    status = outcome.Cancelled ? kExitCancelled : outcome.ProblemLines.empty() ? kExitOk : kExitFailure;
    if (ctx.Json()) {
        std::vector<std::string> displaced;
        for (const MergeDisplaced& d : outcome.Displaced) {
            displaced.push_back(JsonObject().Add("archive", d.Archive).Add("from", d.From).Add("to", d.To).Text());
        }
        JsonObject json;
        json.Add("nothing_to_merge", merge.NothingToMerge)
            .Add("roms_copied", outcome.RomsCopied)
            .Add("archives_created", outcome.ArchivesCreated)
            .Add("archives_changed", outcome.ArchivesChanged)
            .AddRaw("displaced", JsonArray(displaced))
            .Add("bad_archives", outcome.BadArchives)
            .Add("problems", outcome.ProblemLines)
            .Add("new_roms_left", sources.NewRoms().size())
            .Add("cancelled", outcome.Cancelled);
        PrintCounts(ctx, json);
        ctx.PrintJson(json);
        return status;
    }
    std::ostream& out = ctx.Out();
    if (merge.NothingToMerge) {
        return kExitOk;
    }
    // The merging errors went to standard error as they came.
    for (const MergeDisplaced& d : outcome.Displaced) {
        out << DisplayText(DisplacedLine(d)) << "\n";
    }
    if (outcome.Cancelled) {
        out << "Cancelled\n";
    }
    out << "Merged: " << outcome.RomsCopied << " roms copied, " << outcome.ArchivesCreated << " archives created, "
        << outcome.ArchivesChanged << " archives changed";
    if (!outcome.Displaced.empty()) {
        out << ", " << outcome.Displaced.size() << " entries renamed to make room";
    }
    out << "\n";
    JsonObject unused;
    PrintCounts(ctx, unused);
    return status;
}

}  // namespace qm
