// quillmark-cli audit: the audit report of the current profile's collection.
#include <algorithm>
#include <map>
#include <set>

#include "cli/Progress.h"
#include "cli/Verbs.h"
#include "commands/Commands.h"
#include "game_db/cel_strings.h"
#include "platform/Platform.h"
#include "platform/Text.h"
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

// What a summary line counts, in the order of the report: the words for a reader and the
// finding kinds counted.
struct SummaryLine {
    const char* Words;
    std::vector<FindingKind> Kinds;
};
const std::vector<SummaryLine>& SummaryLines() {
    static const std::vector<SummaryLine> lines = {
        {"archives with a wrong name",
         {FindingKind::RightName, FindingKind::RightNameTaken, FindingKind::RightNameReadOnly}},
        {"duplicated archives", {FindingKind::DuplicatedArchive}},
        {"archives of no known set", {FindingKind::NoGoodName}},
        {"archives named right", {FindingKind::NameCorrect}},
        {"correct ROMs", {FindingKind::Correct}},
        {"ROMs missing in other sets", {FindingKind::NeededElsewhere}},
        {"ROMs with a wrong name", {FindingKind::WrongName}},
        {"ROMs needed under a second name", {FindingKind::SecondName}},
        {"duplicated ROMs", {FindingKind::DuplicatedEntry}},
        {"ROMs not needed", {FindingKind::NotNeeded}},
        {"unknown ROMs", {FindingKind::Unknown}},
        {"archives whose check failed", {FindingKind::CheckFailed}},
    };
    return lines;
}

// How many findings of each kind the result holds.
std::map<FindingKind, std::size_t> CountKinds(const TAuditResult& result) {
    std::map<FindingKind, std::size_t> counts;
    for (const TArchiveFinding& finding : result.Names) {
        ++counts[finding.Kind];
    }
    for (const TArchiveFindings& archive : result.Archives) {
        for (const TFinding& finding : archive.Findings) {
            ++counts[finding.Kind];
        }
    }
    return counts;
}

// Something to act on: anything but the lines that say what is right.
bool FoundProblems(const std::map<FindingKind, std::size_t>& counts) {
    return std::any_of(counts.begin(), counts.end(), [](const auto& kindCount) {
        return kindCount.first != FindingKind::Correct && kindCount.first != FindingKind::NameCorrect;
    });
}

std::string SummaryJson(const std::map<FindingKind, std::size_t>& counts, std::size_t problems) {
    JsonObject json;
    for (const auto& [kind, count] : counts) {
        json.Add(FindingKindName(kind), count);
    }
    json.Add("problems", problems);
    return json.Text();
}

void PrintSummary(std::ostream& out, const std::map<FindingKind, std::size_t>& counts, std::size_t problems) {
    out << "\nSummary:";
    bool any = false;
    for (const SummaryLine& line : SummaryLines()) {
        std::size_t count = 0;
        for (const FindingKind kind : line.Kinds) {
            const auto it = counts.find(kind);
            count += it == counts.end() ? 0 : it->second;
        }
        if (count > 0) {
            out << "\n  " << line.Words << ": " << count;
            any = true;
        }
    }
    if (problems > 0) {
        out << "\n  problem lines (on standard error): " << problems;
        any = true;
    }
    out << (any ? "\n" : " nothing to report\n");
}

// The archives the chosen sets and clones stand for: in set mode the set's archive, in split mode
// the clone's; both names are kept, so that a choice made in either mode finds its archives.
std::set<std::string> ChosenArchiveNames(const TGamesList& games, const NameSelection& names) {
    std::set<std::string> chosen;
    for (const TClone* clone : games.SelectedClones) {
        if (names.ChoosesClone(*clone)) {
            chosen.insert(clone->Name);
            chosen.insert(clone->Game->Name);
        }
    }
    return chosen;
}

// The findings about the chosen archives only: an archive by its name, or by the right name the
// audit found for it.
TAuditResult ChosenFindings(TAuditResult all, const std::set<std::string>& chosen) {
    auto isChosen = [&](const std::string& path) { return chosen.count(LowerCase(ZipBaseName(path))) > 0; };
    TAuditResult result;
    for (TArchiveFinding& finding : all.Names) {
        if (isChosen(finding.ArchivePath) || (!finding.Expected.empty() && isChosen(finding.Expected))) {
            result.Names.push_back(std::move(finding));
        }
    }
    for (TArchiveFindings& archive : all.Archives) {
        if (isChosen(archive.Path)) {
            result.Archives.push_back(std::move(archive));
        }
    }
    result.ProblemLines = std::move(all.ProblemLines);
    result.CorruptedHandled = all.CorruptedHandled;
    result.CorruptedFailed = all.CorruptedFailed;
    return result;
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
    const NameSelection names(args.Positional);
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
        return ctx.Usage("--corrupted takes ignore, delete or move:DIR");
    }
    // The audit reads the whole collection: moving or deleting what it cannot read would reach
    // archives of sets that were not named.
    if (!names.Everything() && options.Corrupted != CorruptedAction::Ignore) {
        return ctx.Usage("--corrupted=move or delete works on the whole collection: give no set names with it");
    }

    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    if (!CheckNamesKnown(ctx, names)) {
        return kExitFailure;
    }
    TerminalJob& job = ctx.Job();
    AuditOutcome outcome;
    try {
        outcome = RunAudit(session, options, job);
    } catch (const ECancelClick& e) {
        return ctx.Cancelled(e.what());
    }
    if (!names.Everything()) {
        outcome.Result = ChosenFindings(std::move(outcome.Result), ChosenArchiveNames(session.Games, names));
        // report.txt says what is printed.
        outcome.ReportFile = SaveAuditReport(outcome.Result, session.Config.TempDir);
    }
    // The problems met (the profile's scan's, then the audit's) went to standard error as they
    // came, each once.
    const std::vector<std::string>& problems = job.Problems();
    // They may be about archives of other sets: the summary of chosen sets leaves them out.
    const std::size_t problemsCounted = names.Everything() ? problems.size() : 0;
    const std::map<FindingKind, std::size_t> counts = CountKinds(outcome.Result);
    // The report is whole; but the user asked for archives to be moved or deleted, and some
    // are still where they were.
    int status = FoundProblems(counts) || problemsCounted > 0 ? kExitProblemsFound : kExitOk;
    if (outcome.FailedChanges > 0) {
        status = kExitFailure;
        ctx.Err() << "quillmark-cli: " << outcome.FailedChanges
                  << (outcome.FailedChanges == 1 ? " corrupted archive" : " corrupted archives") << " could not be "
                  << (options.Corrupted == CorruptedAction::Move ? "moved" : "deleted") << "\n";
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject()
                          .Add("profile", session.Config.CurrentEmulator)
                          .Add("report_file", outcome.ReportFile.string())
                          .Add("lines", AuditReportLines(outcome.Result))
                          .AddRaw("findings", FindingsJson(outcome.Result))
                          .AddRaw("summary", SummaryJson(counts, problemsCounted))
                          .Add("problems", problems)
                          .Add("failed_operations", outcome.FailedChanges));
        return status;
    }
    if (args.Has("quiet")) {
        ctx.Out() << DisplayText(outcome.ReportFile.string()) << "\n";
        return status;
    }
    ForEachAuditReportLine(outcome.Result, [&](std::string_view line) { ctx.Out() << DisplayText(line) << "\n"; });
    PrintSummary(ctx.Out(), counts, problemsCounted);
    return status;
}

}  // namespace qm
