// quillmark-cli repair: the repair of the current profile's collection, or its dry run.
#include <filesystem>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Commands.h"
#include "platform/Platform.h"
#include "reports/RepairReport.h"

namespace qm {

namespace {

std::string ActionJson(const TRepairAction& action) {
    JsonObject json;
    json.Add("kind", RepairActionKindName(action.Kind)).Add("archive", action.Archive);
    if (!action.Entry.empty()) {
        json.Add("entry", action.Entry).Add("crc", action.Crc);
    }
    if (!action.Target.empty()) {
        json.Add("target", action.Target);
    }
    if (!action.TargetEntry.empty()) {
        json.Add("target_entry", action.TargetEntry);
    }
    return json.Text();
}

std::string JsonKey(std::string caption) {
    std::string key;
    for (const char c : caption) {
        if (c == '(') {
            break;
        }
        key += c == ' ' ? '_' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    while (!key.empty() && key.back() == '_') {
        key.pop_back();
    }
    return key;
}

}  // namespace

const std::set<std::string>& RepairOptionNames() {
    static const std::set<std::string> names = {"profile",
                                                "repair-names",
                                                "no-repair-names",
                                                "needed-elsewhere",
                                                "no-needed-elsewhere",
                                                "no-good-dump",
                                                "no-no-good-dump",
                                                "unknown",
                                                "corrupted",
                                                "split",
                                                "no-split",
                                                "dry-run",
                                                "force"};
    return names;
}

int VerbRepair(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (!args.Positional.empty()) {
        return ctx.Usage("no arguments expected");
    }
    TCheckOptions options;
    options.RepairNames = Switch(args, "repair-names", options.RepairNames);
    options.RepairNeededElsewhere = Switch(args, "needed-elsewhere", options.RepairNeededElsewhere);
    options.RepairNoGoodDump = Switch(args, "no-good-dump", options.RepairNoGoodDump);
    options.SplitMode = Switch(args, "split", options.SplitMode);
    if (!ParseDisposal(args.Value("unknown"), options.Unknown, options.UnknownPath)) {
        return ctx.Usage("--unknown takes ignore, delete or move:DIR");
    }
    if (!ParseDisposal(args.Value("corrupted"), options.Corrupted, options.CorruptedPath)) {
        return ctx.Usage("--corrupted takes ignore, delete or move:DIR");
    }
    RepairRequest request;
    request.DryRun = args.Has("dry-run");
    request.Force = args.Has("force");
    if (request.Force && !args.Has("yes")) {
        return ctx.Usage("--force goes with --yes");
    }
    if (const std::string why = CheckRepairOptions(options); !why.empty()) {
        return ctx.Usage(why);
    }
    if (!request.DryRun && RepairDeletes(options) && !ctx.Prompts().Ask(MessageKind::Warning, kRepairDeleteWarning)) {
        return ctx.Fail("nothing repaired: the delete was not confirmed");
    }

    if (!ctx.LoadProfile(/*scan=*/false)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    TerminalJob& job = ctx.Job();
    RepairOutcome outcome;
    int status = kExitOk;
    std::string stopped;
    try {
        RunRepair(session, options, request, job, outcome);
    } catch (const ECancelClick& e) {
        stopped = e.what();
        status = kExitCancelled;
    } catch (const ERepairRefused& e) {
        return ctx.Fail(std::string(e.what()) + " (give --yes --force to repair all the same)", e.Directory);
    }
    // The problems met went to standard error as they came.
    if (status == kExitOk && outcome.FailedChanges > 0) {
        status = kExitFailure;
        ctx.Err() << "quillmark-cli: " << outcome.FailedChanges
                  << (outcome.FailedChanges == 1 ? " archive" : " archives") << " could not be repaired\n";
    }
    if (!stopped.empty()) {
        ctx.Err() << "quillmark-cli: " << stopped << "\n";
    }
    const auto summary = RepairSummary(outcome.Result);
    if (ctx.Json()) {
        std::vector<std::string> actions;
        actions.reserve(outcome.Result.Actions.size());
        for (const TRepairAction& action : outcome.Result.Actions) {
            actions.push_back(ActionJson(action));
        }
        JsonObject counts;
        for (const auto& [caption, count] : summary) {
            counts.Add(JsonKey(caption), static_cast<std::int64_t>(count));
        }
        JsonObject json;
        json.Add("profile", session.Config.CurrentEmulator)
            .Add("dry_run", request.DryRun)
            .Add("cancelled", !stopped.empty())
            .AddRaw("actions", JsonArray(actions))
            .AddRaw("summary", counts.Text())
            .Add("problems", job.Problems())
            .Add("failed_operations", outcome.FailedChanges);
        PrintCounts(ctx, json);
        ctx.PrintJson(json);
        return status;
    }
    std::ostream& out = ctx.Out();
    for (const TRepairAction& action : outcome.Result.Actions) {
        out << DisplayText(RepairActionLine(action)) << "\n";
    }
    if (request.DryRun) {
        out << "Dry run: " << outcome.Result.Actions.size() << " actions, nothing changed on disk.\n";
    } else {
        for (const auto& [caption, count] : summary) {
            out << caption << ": " << count << "\n";
        }
    }
    JsonObject unused;
    PrintCounts(ctx, unused);
    return status;
}

}  // namespace qm
