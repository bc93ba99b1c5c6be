// quillmark-cli audit: the audit report of the current profile's collection.
#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Commands.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "reports/AuditReport.h"

namespace qm {

namespace {

// One finding as JSON: its kind, the archive it is about, the entry, and what was found.
std::string FindingJson(FindingKind kind, const std::string& archivePath, const TFinding* entry,
                        const std::string& expected) {
    JsonObject json;
    json.Add("kind", FindingKindName(kind)).Add("archive", archivePath);
    if (entry != nullptr) {
        json.Add("entry", entry->Entry).Add("crc", entry->Crc);
    }
    if (!expected.empty()) {
        json.Add("expected", expected);
    }
    if (entry != nullptr) {
        if (!entry->Target.empty()) {
            json.Add("target", entry->Target);
        }
        if (entry->Complemented) {
            json.Add("complemented", true);
        }
        if (entry->NoGoodDump) {
            json.Add("no_good_dump", true);
        }
        if (!entry->Message.empty()) {
            json.Add("message", entry->Message);
        }
    }
    return json.Text();
}

std::string FindingsJson(const TAuditResult& result) {
    std::vector<std::string> items;
    for (const TArchiveFinding& finding : result.Names) {
        items.push_back(FindingJson(finding.Kind, finding.ArchivePath, nullptr, finding.Expected));
    }
    for (const TArchiveFindings& archive : result.Archives) {
        for (const TFinding& finding : archive.Findings) {
            items.push_back(FindingJson(finding.Kind, archive.Path, &finding, finding.Expected));
        }
    }
    return JsonArray(items);
}

}  // namespace

bool Switch(const CliArgs& args, const std::string& name, bool fallback) {
    if (args.Has("no-" + name)) {
        return false;
    }
    return args.Has(name) ? true : fallback;
}

std::string AbsoluteFolder(const std::string& dir) {
    std::error_code ec;
    const std::filesystem::path absolute = std::filesystem::absolute(dir, ec);
    return WithTrailingSlash((ec ? std::filesystem::path(dir) : absolute).lexically_normal().string());
}

const std::set<std::string>& AuditOptionNames() {
    static const std::set<std::string> names = [] {
        std::set<std::string> n = {"profile", "refresh", "no-refresh", "split", "no-split", "corrupted", "quiet"};
        for (const char* name : {"bad-zip-names", "correct-names", "correct-roms", "bad-rom-names", "needed-elsewhere",
                                 "not-needed", "unknown", "no-good-dump"}) {
            n.insert(name);
            n.insert(std::string("no-") + name);
        }
        return n;
    }();
    return names;
}

int VerbAudit(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    if (!args.Positional.empty()) {
        return ctx.Fail("usage: quillmark-cli audit [options] (see --help)");
    }
    TCheckOptions options;
    options.ReportBadZipNames = Switch(args, "bad-zip-names", options.ReportBadZipNames);
    options.ReportCorrectNames = Switch(args, "correct-names", options.ReportCorrectNames);
    options.ReportCorrectRoms = Switch(args, "correct-roms", options.ReportCorrectRoms);
    options.ReportBadRomNames = Switch(args, "bad-rom-names", options.ReportBadRomNames);
    options.ReportNeededElsewhere = Switch(args, "needed-elsewhere", options.ReportNeededElsewhere);
    options.ReportNotNeeded = Switch(args, "not-needed", options.ReportNotNeeded);
    options.ReportUnknown = Switch(args, "unknown", options.ReportUnknown);
    options.ReportNoGoodDump = Switch(args, "no-good-dump", options.ReportNoGoodDump);
    options.RefreshCache = Switch(args, "refresh", options.RefreshCache);
    options.SplitMode = Switch(args, "split", options.SplitMode);
    if (!ParseDisposal(args.Value("corrupted"), options.Corrupted, options.CorruptedPath)) {
        return ctx.Fail("--corrupted takes ignore, delete or move:DIR");
    }

    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    TerminalJob& job = ctx.Job();
    AuditOutcome outcome;
    try {
        outcome = RunAudit(session, options, job);
    } catch (const ECancelClick& e) {
        ctx.Err() << "quillmark-cli: " << e.what() << "\n";
        return kExitCancelled;
    }
    // The profile's scan's, then the audit's.
    const std::vector<std::string>& problems = job.Problems();
    for (const std::string& line : problems) {
        ctx.Err() << DisplayText(line) << "\n";
    }
    // The report is whole; but the user asked for archives to be moved or deleted, and some
    // are still where they were.
    const int status = outcome.FailedChanges == 0 ? kExitOk : kExitFailure;
    if (outcome.FailedChanges > 0) {
        ctx.Err() << "quillmark-cli: " << outcome.FailedChanges
                  << (outcome.FailedChanges == 1 ? " corrupted archive" : " corrupted archives") << " could not be "
                  << (options.Corrupted == CorruptedAction::Move ? "moved" : "deleted") << "\n";
    }
    if (ctx.Json()) {
        ctx.Out() << JsonObject()
                         .Add("profile", session.Config.CurrentEmulator)
                         .Add("report_file", outcome.ReportFile.string())
                         .Add("lines", AuditReportLines(outcome.Result))
                         .AddRaw("findings", FindingsJson(outcome.Result))
                         .Add("problems", problems)
                         .Add("failed_operations", outcome.FailedChanges)
                         .Text()
                  << "\n";
        return status;
    }
    if (args.Has("quiet")) {
        ctx.Out() << DisplayText(outcome.ReportFile.string()) << "\n";
        return status;
    }
    ForEachAuditReportLine(outcome.Result, [&](std::string_view line) { ctx.Out() << DisplayText(line) << "\n"; });
    return status;
}

}  // namespace qm
