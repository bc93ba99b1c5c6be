// quillmark-cli report: the HTML reports of the Reports menu over the current selection.
#include <array>
#include <string_view>
#include <utility>

#include "cli/Verbs.h"
#include "platform/Platform.h"
#include "platform/SystemTools.h"
#include "reports/HtmlReport.h"

namespace qm {

namespace {

constexpr std::array<std::pair<std::string_view, HtmlReportKind>, 9> kReportNames = {{
    {"complete-sets", HtmlReportKind::CompleteSets},
    {"incomplete-sets", HtmlReportKind::IncompleteSets},
    {"empty-sets", HtmlReportKind::EmptySets},
    {"complete-clones", HtmlReportKind::CompleteClones},
    {"incomplete-clones", HtmlReportKind::IncompleteClones},
    {"empty-clones", HtmlReportKind::EmptyClones},
    {"missing-roms", HtmlReportKind::MissingRoms},
    {"nogooddump-roms", HtmlReportKind::NoGoodDumpRoms},
    {"statistics", HtmlReportKind::Statistics},
}};

}  // namespace

std::vector<std::string> ReportKindNames() {
    std::vector<std::string> names;
    for (const auto& [name, kind] : kReportNames) {
        names.emplace_back(name);
    }
    return names;
}

int VerbReport(CliContext& ctx) {
    const CliArgs& args = ctx.Args();
    const HtmlReportKind* kind = nullptr;
    if (args.Positional.size() == 1) {
        for (const auto& [name, k] : kReportNames) {
            if (args.Positional[0] == name) {
                kind = &k;
            }
        }
    }
    if (kind == nullptr) {
        std::string names;
        for (const auto& [name, k] : kReportNames) {
            names += names.empty() ? "" : "|";
            names += name;
        }
        return ctx.Usage("needs one report KIND: " + names);
    }
    if (!ctx.LoadProfile(/*scan=*/true)) {
        return kExitFailure;
    }
    TSession& session = ctx.Session();
    const HtmlReportOutcome outcome =
        WriteHtmlReport(*kind, session.SubList, session.Config.RefName, session.Config.TempDir);

    bool opened = false;
    bool openFailed = false;
    // The desktop program shows every page; here only an --open page is shown, so only then is
    // there anything to ask about a long one.
    if (args.Has("open") && ConfirmShowingHtmlReport(*kind, outcome, ctx.Prompts())) {
        const int status = RunProcess({"xdg-open", outcome.File.string()}, /*wait=*/true);
        opened = status == 0;
        openFailed = !opened;
        if (openFailed) {
            ctx.Err() << "quillmark-cli: could not open " << DisplayText(outcome.File.string()) << " with xdg-open"
                      << (status == kProcessNotWaited ? " (not found)"
                                                      : " (exit status " + std::to_string(status) + ")")
                      << "\n";
        }
    }
    if (ctx.Json()) {
        ctx.PrintJson(JsonObject()
                          .Add("report", args.Positional[0])
                          .Add("file", outcome.File.string())
                          .Add("records", outcome.Records)
                          .Add("opened", opened));
    } else {
        ctx.Out() << DisplayText(outcome.File.string()) << "\n";
    }
    return openFailed ? kExitFailure : kExitOk;
}

}  // namespace qm
